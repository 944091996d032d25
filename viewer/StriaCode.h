// StriaCode: the list row of one scan. Its text is the code's label; it
// owns the repaired code it was made from.
#ifndef STRIA_CODE_H
#define STRIA_CODE_H

#include <ListItem.h>

class BString;

class StriaCode : public BStringItem {
public:
	// raw: the repaired decoded code; the item owns it from now on. NULL
	// makes a row for an empty code.
	explicit StriaCode(BString* raw);
	~StriaCode() override;

	// The code the item was made from (not a copy).
	BString* RawCode() const { return fRawCode; }

	// The one-line label of a decoded code; a new string the caller owns.
	static BString* Format(const BString* code);

private:
	BString* fRawCode;
};

#endif // STRIA_CODE_H
