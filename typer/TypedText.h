// The text the typer types for one decoded code ("IBN 9780306406157").
#ifndef STRIA_TYPED_TEXT_H
#define STRIA_TYPED_TEXT_H

#include "TyperSettings.h"

#include <string>
#include <string_view>

// data: the code without its tag; barcode: the code as it is; isbn10: the
// ISBN-10 of a Bookland code that has one, else the data; label: the
// viewer's label of the code. Empty for off.
std::string TypedText(std::string_view code, TypedKind type);

#endif // STRIA_TYPED_TEXT_H
