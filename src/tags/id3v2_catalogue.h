#pragma once
// The catalogue of ID3v2 field codes: every code Quorvel knows, per tag
// version, with its display name, kind, parts, fixed size and repeatability.

#include <array>
#include <cstdint>
#include <string_view>

#include "tags/id3v2_model.h"

namespace quorvel {

// Columns of TagElement::kod: 2.2, 2.3, 2.4, and a fourth for tags of a later
// major version, which repeats the 2.4 codes.
constexpr int kCodeColumns = 4;

// Index 0 stands for every unknown code; 1..89 are the real codes; 90 is the
// pseudo-field that carries the extended header.
inline constexpr std::array<TagElement, kCatalogueSize> Id3v2Catalogue = {{
    /*  0 */ TagElement{{"", "", "", ""}, "undefined", kFieldBinary, 0, 0, false},
    /*  1 */ TagElement{{"CRA", "AENC", "AENC", "AENC"}, "Audio encryption", kFieldMixed, 0, 0, true},
    /*  2 */ TagElement{{"PIC", "APIC", "APIC", "APIC"}, "Attached picture", kFieldPicture, 0, 0, true},
    /*  3 */ TagElement{{"", "", "ASPI", "ASPI"}, "Audio seek point index", kFieldBinary, 0, 0, false},
    /*  4 */ TagElement{{"COM", "COMM", "COMM", "COMM"}, "Comment", kFieldText, kPartEncoding | kPartLanguage | kPartDescription, 0, true},
    /*  5 */ TagElement{{"", "COMR", "COMR", "COMR"}, "Commercial frame", kFieldMixed, kPartEncoding, 0, true},
    /*  6 */ TagElement{{"CRM", "ENCR", "ENCR", "ENCR"}, "Encryption method registration", kFieldMixed, 0, 0, true},
    /*  7 */ TagElement{{"EQU", "EQUA", "EQU2", "EQU2"}, "Equalization", kFieldBinary, kPartDescription, 0, false},
    /*  8 */ TagElement{{"ETC", "ETCO", "ETCO", "ETCO"}, "Event timing codes", kFieldBinary, 0, 0, false},
    /*  9 */ TagElement{{"GEO", "GEOB", "GEOB", "GEOB"}, "General encapsulated object", kFieldMixed, 0, 0, true},
    /* 10 */ TagElement{{"", "GRID", "GRID", "GRID"}, "Group identification registration", kFieldMixed, 0, 0, true},
    /* 11 */ TagElement{{"LNK", "LINK", "LINK", "LINK"}, "Linked information", kFieldMixed, 0, 0, true},
    /* 12 */ TagElement{{"MCI", "MCDI", "MCDI", "MCDI"}, "Music CD identifier", kFieldBinary, 0, 0, false},
    /* 13 */ TagElement{{"MLL", "MLLT", "MLLT", "MLLT"}, "MPEG location lookup table", kFieldBinary, 0, 0, false},
    /* 14 */ TagElement{{"", "OWNE", "OWNE", "OWNE"}, "Ownership frame", kFieldMixed, kPartEncoding, 0, false},
    /* 15 */ TagElement{{"", "PRIV", "PRIV", "PRIV"}, "Private frame", kFieldMixed, 0, 0, true},
    /* 16 */ TagElement{{"CNT", "PCNT", "PCNT", "PCNT"}, "Play counter", kFieldBinary, 0, 0, false},
    /* 17 */ TagElement{{"POP", "POPM", "POPM", "POPM"}, "Popularimeter", kFieldMixed, 0, 0, true},
    /* 18 */ TagElement{{"", "POSS", "POSS", "POSS"}, "Position synchronisation frame", kFieldBinary, 0, 0, false},
    /* 19 */ TagElement{{"BUF", "RBUF", "RBUF", "RBUF"}, "Recommended buffer size", kFieldBinary, 0, 8, false},
    /* 20 */ TagElement{{"RVA", "RVAD", "RVA2", "RVA2"}, "Relative volume adjustment", kFieldBinary, 0, 0, true},
    /* 21 */ TagElement{{"REV", "RVRB", "RVRB", "RVRB"}, "Reverberation", kFieldBinary, 0, 12, false},
    /* 22 */ TagElement{{"SLT", "SYLT", "SYLT", "SYLT"}, "Synchronised lyrics", kFieldMixed, kPartEncoding | kPartLanguage, 0, true},
    /* 23 */ TagElement{{"", "SEEK", "SEEK", "SEEK"}, "Seek frame", kFieldBinary, 0, 4, false},
    /* 24 */ TagElement{{"", "SIGN", "SIGN", "SIGN"}, "Signature frame", kFieldBinary, 0, 0, true},
    /* 25 */ TagElement{{"STC", "SYTC", "SYTC", "SYTC"}, "Synchronised tempo codes", kFieldBinary, 0, 0, false},
    /* 26 */ TagElement{{"TAL", "TALB", "TALB", "TALB"}, "Album", kFieldText, kPartEncoding, 0, false},
    /* 27 */ TagElement{{"TBP", "TBPM", "TBPM", "TBPM"}, "BPM", kFieldText, kPartEncoding, 0, false},
    /* 28 */ TagElement{{"TCM", "TCOM", "TCOM", "TCOM"}, "Composer", kFieldText, kPartEncoding, 0, false},
    /* 29 */ TagElement{{"TCO", "TCON", "TCON", "TCON"}, "Genre", kFieldText, kPartEncoding, 0, false},
    /* 30 */ TagElement{{"TCR", "TCOP", "TCOP", "TCOP"}, "Copyright", kFieldText, kPartEncoding, 0, false},
    /* 31 */ TagElement{{"TDA", "TDAT", "TDAT", "TDAT"}, "Date", kFieldText, kPartEncoding, 0, false},
    /* 32 */ TagElement{{"", "TDEN", "TDEN", "TDEN"}, "Encoding time", kFieldText, kPartEncoding, 0, false},
    /* 33 */ TagElement{{"TDY", "TDLY", "TDLY", "TDLY"}, "Playlist delay", kFieldText, kPartEncoding, 0, false},
    /* 34 */ TagElement{{"", "TDOR", "TDOR", "TDOR"}, "Original release time", kFieldText, kPartEncoding, 0, false},
    /* 35 */ TagElement{{"", "TDRC", "TDRC", "TDRC"}, "Recording time", kFieldText, kPartEncoding, 0, false},
    /* 36 */ TagElement{{"", "TDRL", "TDRL", "TDRL"}, "Release time", kFieldText, kPartEncoding, 0, false},
    /* 37 */ TagElement{{"", "TDTG", "TDTG", "TDTG"}, "Tagging time", kFieldText, kPartEncoding, 0, false},
    /* 38 */ TagElement{{"TEN", "TENC", "TENC", "TENC"}, "Encoded by", kFieldText, kPartEncoding, 0, false},
    /* 39 */ TagElement{{"TXT", "TEXT", "TEXT", "TEXT"}, "Lyricist", kFieldText, kPartEncoding, 0, false},
    /* 40 */ TagElement{{"TFT", "TFLT", "TFLT", "TFLT"}, "File type", kFieldText, kPartEncoding, 0, false},
    /* 41 */ TagElement{{"TIM", "TIME", "TIME", "TIME"}, "Time", kFieldText, kPartEncoding, 0, false},
    /* 42 */ TagElement{{"", "IPLS", "TIPL", "TIPL"}, "Involved people list", kFieldText, kPartEncoding, 0, false},
    /* 43 */ TagElement{{"TT1", "TIT1", "TIT1", "TIT1"}, "Content group description", kFieldText, kPartEncoding, 0, false},
    /* 44 */ TagElement{{"TT2", "TIT2", "TIT2", "TIT2"}, "Title", kFieldText, kPartEncoding, 0, false},
    /* 45 */ TagElement{{"TT3", "TIT3", "TIT3", "TIT3"}, "Subtitle", kFieldText, kPartEncoding, 0, false},
    /* 46 */ TagElement{{"TKE", "TKEY", "TKEY", "TKEY"}, "Initial key", kFieldText, kPartEncoding, 0, false},
    /* 47 */ TagElement{{"TLA", "TLAN", "TLAN", "TLAN"}, "Language", kFieldText, kPartEncoding, 0, false},
    /* 48 */ TagElement{{"TLE", "TLEN", "TLEN", "TLEN"}, "Length", kFieldText, kPartEncoding, 0, false},
    /* 49 */ TagElement{{"", "TMCL", "TMCL", "TMCL"}, "Musician credits list", kFieldText, kPartEncoding, 0, false},
    /* 50 */ TagElement{{"TMT", "TMED", "TMED", "TMED"}, "Media type", kFieldText, kPartEncoding, 0, false},
    /* 51 */ TagElement{{"", "TMOO", "TMOO", "TMOO"}, "Mood", kFieldText, kPartEncoding, 0, false},
    /* 52 */ TagElement{{"TOT", "TOAL", "TOAL", "TOAL"}, "Original album", kFieldText, kPartEncoding, 0, false},
    /* 53 */ TagElement{{"TOF", "TOFN", "TOFN", "TOFN"}, "Original filename", kFieldText, kPartEncoding, 0, false},
    /* 54 */ TagElement{{"TOL", "TOLY", "TOLY", "TOLY"}, "Original lyricist", kFieldText, kPartEncoding, 0, false},
    /* 55 */ TagElement{{"TOA", "TOPE", "TOPE", "TOPE"}, "Original performer", kFieldText, kPartEncoding, 0, false},
    /* 56 */ TagElement{{"TOR", "TORY", "TORY", "TORY"}, "Original release year", kFieldText, kPartEncoding, 0, false},
    /* 57 */ TagElement{{"", "TOWN", "TOWN", "TOWN"}, "File owner", kFieldText, kPartEncoding, 0, false},
    /* 58 */ TagElement{{"TP1", "TPE1", "TPE1", "TPE1"}, "Performer", kFieldText, kPartEncoding, 0, false},
    /* 59 */ TagElement{{"TP2", "TPE2", "TPE2", "TPE2"}, "Band", kFieldText, kPartEncoding, 0, false},
    /* 60 */ TagElement{{"TP3", "TPE3", "TPE3", "TPE3"}, "Conductor", kFieldText, kPartEncoding, 0, false},
    /* 61 */ TagElement{{"TP4", "TPE4", "TPE4", "TPE4"}, "Interpreted/remixed by", kFieldText, kPartEncoding, 0, false},
    /* 62 */ TagElement{{"TPA", "TPOS", "TPOS", "TPOS"}, "Part of a set", kFieldText, kPartEncoding, 0, false},
    /* 63 */ TagElement{{"", "TPRO", "TPRO", "TPRO"}, "Produced notice", kFieldText, kPartEncoding, 0, false},
    /* 64 */ TagElement{{"TPB", "TPUB", "TPUB", "TPUB"}, "Publisher", kFieldText, kPartEncoding, 0, false},
    /* 65 */ TagElement{{"TRK", "TRCK", "TRCK", "TRCK"}, "Track number", kFieldText, kPartEncoding, 0, false},
    /* 66 */ TagElement{{"TRD", "TRDA", "TRDA", "TRDA"}, "Recording dates", kFieldText, kPartEncoding, 0, false},
    /* 67 */ TagElement{{"", "TRSN", "TRSN", "TRSN"}, "Internet radio station name", kFieldText, kPartEncoding, 0, false},
    /* 68 */ TagElement{{"", "TRSO", "TRSO", "TRSO"}, "Internet radio station owner", kFieldText, kPartEncoding, 0, false},
    /* 69 */ TagElement{{"", "TSOA", "TSOA", "TSOA"}, "Album sort order", kFieldText, kPartEncoding, 0, false},
    /* 70 */ TagElement{{"", "TSOP", "TSOP", "TSOP"}, "Performer sort order", kFieldText, kPartEncoding, 0, false},
    /* 71 */ TagElement{{"", "TSOT", "TSOT", "TSOT"}, "Title sort order", kFieldText, kPartEncoding, 0, false},
    /* 72 */ TagElement{{"TSI", "TSIZ", "TSIZ", "TSIZ"}, "Size", kFieldText, kPartEncoding, 0, false},
    /* 73 */ TagElement{{"TRC", "TSRC", "TSRC", "TSRC"}, "International standard recording code", kFieldText, kPartEncoding, 0, false},
    /* 74 */ TagElement{{"TSS", "TSSE", "TSSE", "TSSE"}, "SW/HW and settings used for encoding", kFieldText, kPartEncoding, 0, false},
    /* 75 */ TagElement{{"", "TSST", "TSST", "TSST"}, "Set subtitle", kFieldText, kPartEncoding, 0, false},
    /* 76 */ TagElement{{"TYE", "TYER", "TYER", "TYER"}, "Year", kFieldText, kPartEncoding, 0, false},
    /* 77 */ TagElement{{"TXX", "TXXX", "TXXX", "TXXX"}, "User-defined text information frame", kFieldText, kPartEncoding | kPartDescription, 0, true},
    /* 78 */ TagElement{{"UFI", "UFID", "UFID", "UFID"}, "Unique file identifier", kFieldMixed, 0, 0, true},
    /* 79 */ TagElement{{"", "USER", "USER", "USER"}, "Terms of use", kFieldText, kPartEncoding | kPartLanguage, 0, true},
    /* 80 */ TagElement{{"ULT", "USLT", "USLT", "USLT"}, "Unsychronised lyrics", kFieldText, kPartEncoding | kPartLanguage | kPartDescription, 0, true},
    /* 81 */ TagElement{{"WCM", "WCOM", "WCOM", "WCOM"}, "Web commercial information", kFieldText, 0, 0, true},
    /* 82 */ TagElement{{"WCP", "WCOP", "WCOP", "WCOP"}, "Web copyright", kFieldText, 0, 0, false},
    /* 83 */ TagElement{{"WAF", "WOAF", "WOAF", "WOAF"}, "Official audio file web page", kFieldText, 0, 0, false},
    /* 84 */ TagElement{{"WAR", "WOAR", "WOAR", "WOAR"}, "Official performer web page", kFieldText, 0, 0, true},
    /* 85 */ TagElement{{"WAS", "WOAS", "WOAS", "WOAS"}, "Official audio source web page", kFieldText, 0, 0, false},
    /* 86 */ TagElement{{"", "WORS", "WORS", "WORS"}, "Official internet radio station web page", kFieldText, 0, 0, false},
    /* 87 */ TagElement{{"", "WPAY", "WPAY", "WPAY"}, "Payment", kFieldText, 0, 0, false},
    /* 88 */ TagElement{{"WPB", "WPUB", "WPUB", "WPUB"}, "Publishers official webpage", kFieldText, 0, 0, false},
    /* 89 */ TagElement{{"WXX", "WXXX", "WXXX", "WXXX"}, "User defined URL link frame", kFieldText, kPartEncoding | kPartDescription, 0, true},
    /* 90 */ TagElement{{"", "", "", ""}, "Extended tag header", kFieldBinary, 0, 0, false},

}};

// Column of the catalogue for a major version: majors below 2 count as 2,
// majors above 5 as 5.
int Id3v2CodeColumn(unsigned major);

// The code of a catalogue entry for a major version ("" when that version has
// no such field or the index is outside the catalogue).
const char* Id3v2Code(unsigned index, unsigned major);

// Catalogue index (1..89) of a code in the column of a major version; 0 when
// the code is unknown there. Indexes are scanned from 89 down to 1.
uint8_t FindId3v2Code(std::string_view code, unsigned major);

// Name of an attached picture's type; "unknown" for unassigned numbers.
const char* PictureTypeName(unsigned type);

}  // namespace quorvel
