#!/bin/bash
# Checks the user guide against the program:
#   check-guide.sh SOURCE_ROOT
# - every text in «» is the program's own: it occurs in the sources of the module, the wizard,
#   the demo host or the package (adjacent string literals joined, \" read as "), or it is what
#   one of their format strings gives ("OLE error %.8x" gives "OLE error 80004005");
# - so is every message in backticks in the first column of a table of messages (a table whose
#   first column is "Сообщение"), except in a cell that begins with "Текст Windows" or
#   "Текст wine": those are the system's texts, not the program's;
# - every picture the guide shows exists.
set -u
root=$1
guide="$root/docs/user-guide.ru.md"
[ -f "$guide" ] || { echo "no guide: $guide"; exit 1; }
export LC_ALL=C.UTF-8
perl -CSD -e '
  use strict; use warnings; use utf8;
  my ($root, $guide) = @ARGV;
  my $program = "";
  my @formats;
  my $conversion = qr/%[-+ #0]*[0-9]*(?:\.[0-9]+)?(?:l|ll|h)?[a-zA-Z]/;
  for my $dir (qw(module stats wizard support hostsim installer)) {
    for my $file (split /\n/, `find "$root/$dir" -type f \\( -name "*.cpp" -o -name "*.h" -o -name "*.rc" -o -name "*.wxs" \\)`) {
      open(my $f, "<:encoding(UTF-8)", $file) or die "$file: $!";
      local $/; my $text = <$f>; close $f;
      $text =~ s/\\"/\x{1}/g;                     # an escaped quote stays a quote
      $text =~ s{"\s*(?://[^\n]*\n\s*)*"}{}g;      # "abc" // note
      while ($text =~ /"([^"\n]*)"/g) {            #   "def" is "abcdef"
        my $literal = $1; $literal =~ s/\x{1}/"/g;
        next unless $literal =~ $conversion;
        (my $fixed = $literal) =~ s/$conversion//g;
        next if ($fixed =~ tr/a-zA-Zа-яА-ЯёЁ//) < 8;   # "%s: %s" would match any text
        push @formats, "^" . join(".+", map { quotemeta } split(/$conversion/, $literal, -1)) . "\$";
      }
      $text =~ s/\x{1}/"/g;
      $program .= $text . "\n";
    }
  }
  sub ours { my ($t) = @_; return 1 if index($program, $t) >= 0; for (@formats) { return 1 if $t =~ $_ } 0 }

  open(my $g, "<:encoding(UTF-8)", $guide) or die "$guide: $!";
  local $/; my $text = <$g>; close $g;
  my $fail = 0; my $count = 0; my $system = 0;
  while ($text =~ /«([^»]*)»/g) {
    my $quote = $1; $quote =~ s/\s*\n\s*/ /g;
    $count++;
    if (!ours($quote)) { print "not a text of the program: «$quote»\n"; $fail = 1; }
  }
  my $messages = 0;
  for my $line (split /\n/, $text) {
    if ($line =~ /^\|\s*Сообщение\s*\|/) { $messages = 1; next; }
    if ($line !~ /^\|/) { $messages = 0; next; }
    next unless $messages and $line !~ /^\|[-| ]*$/;
    my ($cell) = $line =~ /^\|([^|]*)\|/;
    my $windows = $cell =~ /^\s*Текст (?:Windows|wine)\b/;
    while ($cell =~ /`([^`]+)`/g) {
      if ($windows) { $system++; next; }
      $count++;
      if (!ours($1)) { print "not a message of the program: `$1`\n"; $fail = 1; }
    }
  }
  while ($text =~ /\]\(([^)]+\.png)\)/g) {
    my $path = "$root/docs/$1";
    if (!-f $path) { print "no such picture: $1\n"; $fail = 1; }
  }
  print "$count texts of the program checked, $system of the system'"'"'s left\n" unless $fail;
  exit $fail;
' "$root" "$guide"
