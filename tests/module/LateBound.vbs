' A late-bound client of Quorin.ComModule: creates it by ProgID and calls it by name.
' Exit codes: 0 all as expected; 10+ the first check that failed.
Option Explicit
On Error Resume Next
Dim M
Set M = CreateObject("Quorin.ComModule")
If Err.Number <> 0 Then WScript.Quit 10
M.Init Nothing
If Err.Number <> 0 Then WScript.Quit 11
Err.Clear
' Without an application object the module refuses, with its own error information.
M.ShowMainDialog
If Err.Number <> &H8000FFFF Then WScript.Quit 12
If Err.Source <> "Quorin.ComModule" Then WScript.Quit 13
If Len(Err.Description) = 0 Then WScript.Quit 14
Err.Clear
M.NoSuchMethod
If Err.Number = 0 Then WScript.Quit 15
Err.Clear
Set M = Nothing
If Err.Number <> 0 Then WScript.Quit 16
WScript.Quit 0
