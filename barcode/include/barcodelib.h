// Display layouts, UPC-A/UPC-E conversion and the UPC check digit.
//
// These work on caller-provided buffers by fixed position and count: they
// check neither the input's length nor its digits. Runs of several
// characters are copied as strncpy copies them (a NUL ends the run and fills
// its remaining places with NULs); single characters are copied as they are.
#ifndef STRIA_BARCODELIB_H
#define STRIA_BARCODELIB_H

// 13 EAN digits -> "d-dddddd-dddddd" (15 characters and NUL, 16 bytes).
void ibn_format(const char* digits, char* text);

// 18 digits (EAN-13 and add-on) -> "d-dddddd-dddddd-ddddd" (22 bytes).
void ib5_format(const char* digits, char* text);

// 12 UPC-A digits -> "d-ddddd-ddddd-d" (16 bytes).
void upa_format(const char* digits, char* text);

// 8 UPC-E digits -> "d-dddddd-d" (11 bytes).
void upe_format(const char* digits, char* text);

// upa_format / upe_format into new malloc memory that the caller frees.
char* upa_format2(const char* digits);
char* upe_format2(const char* digits);

// Expands 8 UPC-E characters into 12 UPC-A characters by the
// zero-suppression rule that the sixth digit selects. The check character
// is copied, not recomputed. Writes no terminator.
void upe2upa(const char* upe, char* upa);

// Compresses 12 UPC-A characters into 8 UPC-E characters by the first
// zero-suppression rule that fits; codes that fit none get the plain
// "N m1..m5 p5 CD" form, whether or not it expands back. Writes no
// terminator.
void upa2upe(const char* upa, char* upe);

// The UPC check digit (0 to 9) of the first 11 characters of `digits`:
// three times the sum at even positions plus the sum at odd positions,
// taken up to the next multiple of ten. Non-digits count their distance
// from '0'.
int upc_check_digit(const char* digits);

// The UPC check digit (0 to 9) of the first 11 characters of a text of
// exactly 12 characters (the twelfth is ignored); -1 for any other length.
int upa_check(const char* text);

#endif // STRIA_BARCODELIB_H
