// Display layouts, UPC-A/UPC-E conversion and the UPC check digit.
#include "barcodelib.h"

#include <cstdlib>
#include <cstring>

namespace {

// Copies a run of `count` characters the way strncpy does: a NUL in `from`
// ends the run and the run's remaining places become NULs.
void copy_run(char* to, const char* from, std::size_t count)
{
	std::size_t i = 0;
	for (; i < count && from[i] != '\0'; i++)
		to[i] = from[i];
	for (; i < count; i++)
		to[i] = '\0';
}

void fill_zeros(char* to, std::size_t count)
{
	std::memset(to, '0', count);
}

} // namespace

void ibn_format(const char* digits, char* text)
{
	text[0] = digits[0];
	text[1] = '-';
	copy_run(text + 2, digits + 1, 6);
	text[8] = '-';
	copy_run(text + 9, digits + 7, 6);
	text[15] = '\0';
}

void ib5_format(const char* digits, char* text)
{
	ibn_format(digits, text);
	text[15] = '-';
	copy_run(text + 16, digits + 13, 5);
	text[21] = '\0';
}

void upa_format(const char* digits, char* text)
{
	text[0] = digits[0];
	text[1] = '-';
	copy_run(text + 2, digits + 1, 5);
	text[7] = '-';
	copy_run(text + 8, digits + 6, 5);
	text[13] = '-';
	text[14] = digits[11];
	text[15] = '\0';
}

void upe_format(const char* digits, char* text)
{
	text[0] = digits[0];
	text[1] = '-';
	copy_run(text + 2, digits + 1, 6);
	text[8] = '-';
	text[9] = digits[7];
	text[10] = '\0';
}

char* upa_format2(const char* digits)
{
	char* text = static_cast<char*>(std::malloc(16));
	if (text != nullptr)
		upa_format(digits, text);
	return text;
}

char* upe_format2(const char* digits)
{
	char* text = static_cast<char*>(std::malloc(11));
	if (text != nullptr)
		upe_format(digits, text);
	return text;
}

void upe2upa(const char* upe, char* upa)
{
	// Every form starts with the number system and d1 d2 and ends with the
	// check character; d6 says where the suppressed zeros were.
	switch (upe[6]) {
	case '0':
	case '1':
	case '2':
		copy_run(upa, upe, 3);
		upa[3] = upe[6];
		fill_zeros(upa + 4, 4);
		copy_run(upa + 8, upe + 3, 3);
		break;
	case '3':
		copy_run(upa, upe, 4);
		fill_zeros(upa + 4, 5);
		copy_run(upa + 9, upe + 4, 2);
		break;
	case '4':
		copy_run(upa, upe, 5);
		fill_zeros(upa + 5, 5);
		upa[10] = upe[5];
		break;
	default:
		copy_run(upa, upe, 6);
		fill_zeros(upa + 6, 4);
		upa[10] = upe[6];
		break;
	}
	upa[11] = upe[7];
}

void upa2upe(const char* upa, char* upe)
{
	const char m3 = upa[3];
	if (std::strncmp(upa + 4, "0000", 4) == 0 && (m3 == '0' || m3 == '1' || m3 == '2')) {
		copy_run(upe, upa, 3);
		copy_run(upe + 3, upa + 8, 3);
		upe[6] = m3;
	} else if (std::strncmp(upa + 4, "00000", 5) == 0) {
		copy_run(upe, upa, 4);
		copy_run(upe + 4, upa + 9, 2);
		upe[6] = '3';
	} else if (std::strncmp(upa + 5, "00000", 5) == 0) {
		copy_run(upe, upa, 5);
		upe[5] = upa[10];
		upe[6] = '4';
	} else {
		copy_run(upe, upa, 6);
		upe[6] = upa[10];
	}
	upe[7] = upa[11];
}

int upc_check_digit(const char* digits)
{
	int odd = 0;
	int even = 0;
	for (int i = 0; i < 11; i++) {
		const int value = static_cast<unsigned char>(digits[i]) - '0';
		(i % 2 == 0 ? odd : even) += value;
	}
	const int total = 3 * odd + even;
	// Non-digits may make the total negative; the remainder stays 0 to 9.
	const int remainder = (total % 10 + 10) % 10;
	return (10 - remainder) % 10;
}

int upa_check(const char* text)
{
	return std::strlen(text) == 12 ? upc_check_digit(text) : -1;
}
