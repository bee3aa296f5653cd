#!/usr/bin/perl
# Points a linked PE image's load-configuration entry at its _load_config_used, which this ld does
# not do by itself. Usage: load-config.pl IMAGE MAPFILE
use strict;
use warnings;
no warnings 'portable'; # 64-bit addresses

my ($image, $map) = @ARGV;
open(my $m, '<', $map) or die "load-config: $map: $!\n";
my $address;
while (<$m>) {
    if (/^\s+0x([0-9a-fA-F]+)\s+_?_load_config_used\s*$/) { $address = hex($1); last; }
}
close($m);
die "load-config: no _load_config_used in $map\n" unless defined $address;

open(my $f, '+<:raw', $image) or die "load-config: $image: $!\n";
local $/;
my $data = <$f>;
my $pe = unpack('V', substr($data, 0x3c, 4));
my $optional = $pe + 24;
my $wide = unpack('v', substr($data, $optional, 2)) == 0x20b;
my $base = $wide ? unpack('Q<', substr($data, $optional + 24, 8)) : unpack('V', substr($data, $optional + 28, 4));
my $entry = $optional + ($wide ? 112 : 96) + 10 * 8;
my $size = $wide ? 112 : 72;
seek($f, $entry, 0);
print $f pack('VV', $address - $base, $size);
close($f) or die "load-config: $image: $!\n";
