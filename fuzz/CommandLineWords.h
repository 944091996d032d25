// Shared by the command-line fuzz targets: the fuzz input as argv words, and
// a check that aborts (so that libFuzzer reports the input) when a property
// does not hold.
#ifndef STRIA_FUZZ_COMMAND_LINE_WORDS_H
#define STRIA_FUZZ_COMMAND_LINE_WORDS_H

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline void Require(bool condition)
{
	if (!condition)
		std::abort();
}

// Words end at NUL and newline bytes; an empty input has no words.
inline std::vector<std::string> SplitWords(std::string_view input)
{
	std::vector<std::string> words;
	std::string word;
	for (char c : input) {
		if (c == '\0' || c == '\n') {
			words.push_back(word);
			word.clear();
		} else {
			word.push_back(c);
		}
	}
	if (!input.empty())
		words.push_back(word);
	return words;
}

} // namespace fuzz

#endif // STRIA_FUZZ_COMMAND_LINE_WORDS_H
