// Any byte string as a decoded code: the UPC-E repair and the code label,
// alone and one after the other as the filter runs them.
#include "code_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string code(reinterpret_cast<const char*>(data), size);
	const std::string text = code.substr(0, code.find('\0'));

	const std::string repaired = repair_upce(code);
	// The repair either leaves the text alone or completes a UPC-E code,
	// with or without add-on, by one character.
	const bool upce = repaired.compare(0, 4, "UPE ") == 0 || repaired.compare(0, 4, "UE2 ") == 0 ||
	                  repaired.compare(0, 4, "UE5 ") == 0;
	if (repaired != text && !(upce && repaired.size() == text.size() + 1))
		std::abort();
	if (repair_upce(repaired) != repaired)
		std::abort();

	const std::string label = code_label(code);
	const std::string repairedLabel = code_label(repaired);
	if (label.empty() || repairedLabel.empty() || label.find('\0') != std::string::npos)
		std::abort();
	return 0;
}
