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

// The decoded code of a scanner record: tag, space, data. Decoding stops at
// a decoded zero byte, so the result is always a plain text.
std::string decode_record(std::string_view record);

// A "UPE" code whose data part has exactly 7 characters (number system and
// six digits, the check digit missing) gets its check digit computed and
// appended: "UPE 0123450" -> "UPE 01234505". Every other code comes back
// unchanged.
std::string repair_upce(std::string_view code);

// The one-line display text of a decoded code, for example
// "UPA: '0-12000-00345-5' [UPE equiv: '0-123450-5']" or "ISBN: 9-780306-406157".
// A code shorter than its layout is laid out from the characters it holds
// and marked "[incomplete: N of M digits]". Text behind a zero byte is not
// part of the code.
std::string code_label(std::string_view code);

#endif // STRIA_CODE_TEXT_H
