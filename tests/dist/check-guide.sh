#!/bin/bash
# Checks the user guide against the program:
#   check-guide.sh SOURCE_ROOT
# - every text in «» is the program's own: it occurs in the sources of the module, the wizard,
#   the demo host or the package (adjacent string literals joined, \" read as ");
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
  for my $dir (qw(module stats wizard support hostsim installer)) {
    for my $file (split /\n/, `find "$root/$dir" -type f \\( -name "*.cpp" -o -name "*.h" -o -name "*.rc" -o -name "*.wxs" \\)`) {
      open(my $f, "<:encoding(UTF-8)", $file) or die "$file: $!";
      local $/; my $text = <$f>; close $f;
      $text =~ s/\\"/\x{1}/g;                     # an escaped quote stays a quote
      $text =~ s{"\s*(?://[^\n]*\n\s*)*"}{}g;      # "abc" // note
      $text =~ s/\x{1}/"/g;                          #   "def" is "abcdef"
      $program .= $text . "\n";
    }
  }
  open(my $g, "<:encoding(UTF-8)", $guide) or die "$guide: $!";
  local $/; my $text = <$g>; close $g;
  my $fail = 0; my $count = 0;
  while ($text =~ /«([^»]*)»/g) {
    my $quote = $1; $quote =~ s/\s*\n\s*/ /g;
    $count++;
    if (index($program, $quote) < 0) { print "not a text of the program: «$quote»\n"; $fail = 1; }
  }
  while ($text =~ /\]\(([^)]+\.png)\)/g) {
    my $path = "$root/docs/$1";
    if (!-f $path) { print "no such picture: $1\n"; $fail = 1; }
  }
  print "$count quoted texts checked\n" unless $fail;
  exit $fail;
' "$root" "$guide"
