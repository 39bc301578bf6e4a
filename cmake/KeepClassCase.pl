#!/usr/bin/perl
# windres stores the class name of a dialog's custom controls in capitals
# ("MSCTLS_UPDOWN32"). Windows compares class names without regard to case,
# but the template is to hold each name as written, so this puts the names
# given after the object file back into their case, in place (UTF-16LE, the
# same length).
#
#   perl KeepClassCase.pl OBJECT NAME...
use strict;
use warnings;

my ($object, @names) = @ARGV;
open(my $in, '<:raw', $object) or die "$object: $!\n";
my $bytes = do { local $/; <$in> };
close($in);
for my $name (@names) {
    my ($written, $stored) = map { join('', map { "$_\0" } split(//, $_)) . "\0\0" } ($name, uc $name);
    $bytes =~ s/\Q$stored\E/$written/g;
}
open(my $out, '>:raw', $object) or die "$object: $!\n";
print $out $bytes;
close($out) or die "$object: $!\n";
