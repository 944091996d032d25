#include "ScanLine.h"

#include <code_text.h>
#include <printable_code.h>

#include <cstdio>

namespace {

std::string hex_escape(const char* prefix, unsigned char byte)
{
	char escaped[8];
	std::snprintf(escaped, sizeof(escaped), "%s%02x", prefix, byte);
	return escaped;
}

} // namespace

std::string json_string(std::string_view text)
{
	std::string json = "\"";
	for (char c : text) {
		unsigned char byte = static_cast<unsigned char>(c);
		switch (c) {
		case '"':
			json += "\\\"";
			break;
		case '\\':
			json += "\\\\";
			break;
		case '\b':
			json += "\\b";
			break;
		case '\f':
			json += "\\f";
			break;
		case '\n':
			json += "\\n";
			break;
		case '\r':
			json += "\\r";
			break;
		case '\t':
			json += "\\t";
			break;
		default:
			// Codes carry bytes, not UTF-8: a byte above 0x7e stands for
			// itself, as the character of the same number.
			if (byte < 0x20 || byte > 0x7e)
				json += hex_escape("\\u00", byte);
			else
				json += c;
			break;
		}
	}
	json += '"';
	return json;
}

std::string scan_line(std::string_view barcode, ScanFormat format, bool checkFailed)
{
	switch (format) {
	case ScanFormat::Barcode:
		return printable_code(barcode);
	case ScanFormat::Label:
		return printable_code(barcode) + "\t" + printable_code(code_label(barcode));
	case ScanFormat::Json:
		break;
	}
	std::string_view tag = barcode.substr(0, 3);
	std::string_view data = barcode.size() > 4 ? barcode.substr(4) : std::string_view();
	return "{\"barcode\":" + json_string(barcode) + ",\"tag\":" + json_string(tag) +
	       ",\"data\":" + json_string(data) + ",\"label\":" + json_string(code_label(barcode)) +
	       (checkFailed ? ",\"check_failed\":true}" : "}");
}
