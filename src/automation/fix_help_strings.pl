#!/usr/bin/perl
# widl copies a help string's "\r\n" into the type library as the four characters it reads, while
# our help strings need CR LF there. So the IDL goes to widl with a two-byte stand-in for every
# "\r\n" (same length as CR LF, so no offset inside the library moves), and afterwards each help
# string, found whole, gets its CR LF back. A help string that cannot be found fails the build.
#
#   fix_help_strings.pl to-widl   IDL  OUT_IDL
#   fix_help_strings.pl from-widl IDL  TLB_IN TLB_OUT
use strict;
use warnings;

my $stand_in = "\x01\x02";
my ($mode, $idl, @files) = @ARGV;
die "usage: $0 to-widl|from-widl IDL FILES...\n" unless $mode && $idl && @files;

open(my $in, '<:raw', $idl) or die "$idl: $!\n";
my $source = do { local $/; <$in> };
close $in;

if ($mode eq 'to-widl') {
  (my $out = $source) =~ s/\\r\\n/$stand_in/g;
  open(my $fh, '>:raw', $files[0]) or die "$files[0]: $!\n";
  print $fh $out;
  close $fh;
  exit 0;
}

die "unknown mode $mode\n" unless $mode eq 'from-widl';
open(my $fh, '<:raw', $files[0]) or die "$files[0]: $!\n";
my $tlb = do { local $/; <$fh> };
close $fh;

my $fixed = 0;
while ($source =~ /helpstring\("((?:[^"\\]|\\.)*)"\)/g) {
  my $text = $1;
  next unless $text =~ /\\r\\n/;
  $text =~ s/\\"/"/g;
  (my $widl_form = $text) =~ s/\\r\\n/$stand_in/g;
  (my $wanted = $text) =~ s/\\r\\n/\r\n/g;
  my $count = ($tlb =~ s/\Q$widl_form\E/$wanted/g);
  die "help string not found in the type library: $text\n" unless $count || index($tlb, $wanted) >= 0;
  $fixed++;
}
die "a stand-in for CR LF is left in the type library\n" if $tlb =~ /\Q$stand_in\E/ && $tlb =~ /[ -~]\Q$stand_in\E[ -~]/;
open(my $out, '>:raw', $files[1]) or die "$files[1]: $!\n";
print $out $tlb;
close $out;
print "help strings with line breaks: $fixed\n" if $ENV{VERBOSE};
