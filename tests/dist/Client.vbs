' A late-bound client of the installed module: creates it by ProgID and calls it by name.
' Exit codes: 0 as expected; 10 the class could not be created; 11 and up the first check that
' failed.
Option Explicit
On Error Resume Next
Dim M
Set M = CreateObject("Quorin.ComModule")
If Err.Number <> 0 Then WScript.Quit 10
' Without the host's application object the module refuses, with its own error information.
M.ShowMainDialog
If Err.Number <> &H8000FFFF Then WScript.Quit 11
If Err.Source <> "Quorin.ComModule" Then WScript.Quit 12
If Len(Err.Description) = 0 Then WScript.Quit 13
Err.Clear
Set M = Nothing
If Err.Number <> 0 Then WScript.Quit 14
WScript.Quit 0
