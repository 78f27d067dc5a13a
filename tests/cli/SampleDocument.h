#pragma once

// A version-4 file written the way other programs write them: mixed line ends, leading zeros,
// doubled blanks, lower-case hex, text after the last field, no break after the last line. Its
// objects cover the rules of the searches and bulk edits: names differing only in case, "tree."
// and "dir.rwx\tree" extensions, typed objects, owner -1, tilt and roll, line breaks in texts,
// Windows-1252 letters and the ends of the timestamp range.

#include <string>

inline const std::string SampleDocument =
    "propdump version 4\r\n"
    "5 1000000000 -6789 1500 12345 900 0 450 0 4 8 0 0 treeFOR SALE\r\n"
    "007 1000000100 1 2 3 4 0 0 0 8 0 0 0 TREE.RWX\n"
    "5  -5 0 0 0 0 0 0 2 4 0 6 3 wallcreate0aBbCc\r\n"
    "-1 2147483647 0 0 0 0 0 0 0 5 0 0 0 tree.\r\n"
    "57 0 0 0 0 0 10 20 0 12 5 0 0 dir.rwx\\treefor ?\r\n"
    "50 -2147483648 0 0 0 0 0 0 7 8 0 0 0 bush.rWx\r\n"
    "5 1000000050 0 0 0 0 0 0 0 0 3 0 0 a\x80"
    "b\r\n"
    "104 1000000000 0 0 0 0 0 0 1 6 0 0 0 Tree.x    trailing junk\r\n"
    "2045 999999999 0 0 0 0 0 0 0 8 10 0 0 caf\xe9.rwxcaf\xe9 cr\xe8me\r\n"
    "57 1000000001 0 0 0 0 0 0 0 4 0 0 0 Tree\r\n"
    "5 1000000000 0 0 0 0 0 0 5 0 0 0 2 ff00";
