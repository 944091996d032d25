#include "StriaCode.h"

#include <String.h>

#include <code_text.h>

#include <string_view>

StriaCode::StriaCode(BString* raw) : BStringItem(""), fRawCode(raw)
{
	BString* label = Format(raw);
	SetText(label->String());
	delete label;
}

StriaCode::~StriaCode()
{
	delete fRawCode;
}

BString* StriaCode::Format(const BString* code)
{
	std::string_view text =
	        code != NULL ? std::string_view(code->String(), code->Length()) : std::string_view();
	std::string label = code_label(text);
	return new BString(label.c_str(), (int32)label.size());
}
