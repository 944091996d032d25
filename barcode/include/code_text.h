// The text operations of a scan, over standard strings: record to decoded
// code, repair of UPC-E codes sent without check digit, and the code label.
// Records and codes of any length are taken whole.
//
// decode_record lives in cuecat_lib; repair_upce and code_label in
// barcodelib, which links cuecat_lib.
#ifndef STRIA_CODE_TEXT_H
#define STRIA_CODE_TEXT_H

#include <string>
#include <string_view>

// The decoded code of a scanner record: tag, space, data. Every decoded
// byte is kept, a zero byte too: whether the code is one its symbology can
// carry is for check_scan (scan_check.h) to say, never a silent cut.
std::string decode_record(std::string_view record);

// A UPC-E code ("UPE", or "UE2"/"UE5" with an add-on) whose data part
// lacks the check digit (number system and six digits, then the add-on)
// gets it computed and put in its place: "UPE 0123450" -> "UPE 01234505",
// "UE2 012345012" -> "UE2 0123450512". Every other code comes back
// unchanged.
std::string repair_upce(std::string_view code);

// The one-line display text of a decoded code, for example
// "UPA: '0-12000-00345-5' [UPE equiv: '0-123450-5']" or "ISBN: 9-780306-406157".
// Add-on variants are laid out like their base symbology, the add-on behind
// a dash: "ISBN: 9-780306-406157-51995". A code shorter than its layout is
// laid out from the characters it holds and marked "[incomplete: N of M
// digits]"; a code whose check digit is wrong ends in "[check digit
// wrong]". Text behind a zero byte is not part of the code.
std::string code_label(std::string_view code);

#endif // STRIA_CODE_TEXT_H
