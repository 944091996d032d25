// stria-listen's output lines and command line, as tables.
#include <ListenOptions.h>
#include <ScanLine.h>

#include <gtest/gtest.h>

namespace {

struct LineCase {
	const char* name;
	std::string barcode;
	ScanFormat format;
	std::string line;
	bool checkFailed = false;
};

class ScanLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ScanLineTest, PrintsTheScan)
{
	EXPECT_EQ(scan_line(GetParam().barcode, GetParam().format, GetParam().checkFailed),
	          GetParam().line);
}

const std::string kUpcLabel = "UPA: '0-12000-00345-5' [UPE equiv: '0-123450-5']";

INSTANTIATE_TEST_SUITE_P(
        Listen, ScanLineTest,
        ::testing::Values(
                LineCase{"Plain", "UPA 012000003455", ScanFormat::Barcode, "UPA 012000003455"},
                LineCase{"Label", "UPA 012000003455", ScanFormat::Label,
                         "UPA 012000003455\t" + kUpcLabel},
                LineCase{"LabelOfIsbn", "IBN 9780201889543", ScanFormat::Label,
                         "IBN 9780201889543\tISBN: 9-780201-889543"},
                LineCase{"Json", "UPA 012000003455", ScanFormat::Json,
                         "{\"barcode\":\"UPA "
                         "012000003455\",\"tag\":\"UPA\",\"data\":\"012000003455\","
                         "\"label\":\"" +
                                 kUpcLabel + "\"}"},
                LineCase{"JsonOfShortCode", "UP", ScanFormat::Json,
                         "{\"barcode\":\"UP\",\"tag\":\"UP\",\"data\":\"\",\"label\":"
                         "\"UNRECOGNIZED TYPE: "
                         "UP\"}"},
                LineCase{"JsonDataEmptyAtFourCharacters", "XYZ ", ScanFormat::Json,
                         "{\"barcode\":\"XYZ "
                         "\",\"tag\":\"XYZ\",\"data\":\"\",\"label\":\"UNRECOGNIZED "
                         "TYPE: XYZ \"}"},
                LineCase{"JsonDataFromTheFifthCharacter", "C39 X", ScanFormat::Json,
                         "{\"barcode\":\"C39 X\",\"tag\":\"C39\",\"data\":\"X\",\"label\":\"C39: "
                         "X\"}"},
                LineCase{"JsonOfEmptyCode", "", ScanFormat::Json,
                         "{\"barcode\":\"\",\"tag\":\"\",\"data\":\"\",\"label\":\"UNRECOGNIZED "
                         "TYPE: \"}"},
                LineCase{
                        "JsonEscapes", "C39 \"\\\x01\x1f\x7f\xe9\b\f\n\r\t/", ScanFormat::Json,
                        "{\"barcode\":\"C39 \\\"\\\\\\u0001\\u001f\\u007f\\u00e9\\b\\f\\n\\r\\t/\","
                        "\"tag\":\"C39\",\"data\":"
                        "\"\\\"\\\\\\u0001\\u001f\\u007f\\u00e9\\b\\f\\n\\r\\t/\","
                        "\"label\":\"C39: \\\"\\\\\\u0001\\u001f\\u007f\\u00e9\\b\\f\\n\\r\\t/\"}"},
                LineCase{"PlainEscapesNonPrintableBytes", "C39 A\x01\xff\n\\", ScanFormat::Barcode,
                         "C39 A\\x01\\xff\\x0a\\\\"},
                LineCase{"LabelEscapesBothParts", "C39 \t", ScanFormat::Label,
                         "C39 \\x09\tC39: \\x09"},
                // A wrong check digit shows where labels or flags are printed.
                LineCase{"PlainOfWrongCheckDigit", "IBN 9780306406158", ScanFormat::Barcode,
                         "IBN 9780306406158", true},
                LineCase{"LabelOfWrongCheckDigit", "IBN 9780306406158", ScanFormat::Label,
                         "IBN 9780306406158\tISBN: 9-780306-406158 [check digit wrong]", true},
                LineCase{"JsonOfWrongCheckDigit", "E08 96385075", ScanFormat::Json,
                         "{\"barcode\":\"E08 96385075\",\"tag\":\"E08\",\"data\":\"96385075\","
                         "\"label\":\"E08: 96385075 [check digit wrong]\",\"check_failed\":true}",
                         true}),
        [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

struct OptionsCase {
	const char* name;
	std::vector<std::string> arguments;
	bool valid;
	ScanFormat format;
	std::string socket;
	bool help;
	std::string error;
};

class ListenOptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(ListenOptionsTest, ReadsTheCommandLine)
{
	const OptionsCase& c = GetParam();
	ListenOptions options;
	std::string error;
	ASSERT_EQ(parse_listen_options(c.arguments, &options, &error), c.valid) << error;
	if (!c.valid) {
		EXPECT_EQ(error, c.error);
		return;
	}
	EXPECT_EQ(options.format, c.format);
	EXPECT_EQ(options.controlSocket, c.socket);
	EXPECT_EQ(options.help, c.help);
}

INSTANTIATE_TEST_SUITE_P(
        Listen, ListenOptionsTest,
        ::testing::Values(
                OptionsCase{"Nothing", {}, true, ScanFormat::Barcode, "", false, ""},
                OptionsCase{"Label", {"--label"}, true, ScanFormat::Label, "", false, ""},
                OptionsCase{"Json", {"--json"}, true, ScanFormat::Json, "", false, ""},
                OptionsCase{
                        "JsonTwice", {"--json", "--json"}, true, ScanFormat::Json, "", false, ""},
                OptionsCase{"Socket",
                            {"--control-socket", "/run/x", "--json"},
                            true,
                            ScanFormat::Json,
                            "/run/x",
                            false,
                            ""},
                OptionsCase{"SocketWithEquals",
                            {"--control-socket=/run/y"},
                            true,
                            ScanFormat::Barcode,
                            "/run/y",
                            false,
                            ""},
                OptionsCase{"Help", {"--help"}, true, ScanFormat::Barcode, "", true, ""},
                OptionsCase{"ShortHelp", {"-h", "--label"}, true, ScanFormat::Label, "", true, ""},
                OptionsCase{"LabelAndJson",
                            {"--label", "--json"},
                            false,
                            ScanFormat::Barcode,
                            "",
                            false,
                            "choose one of --label and --json, not both"},
                OptionsCase{"SocketWithoutPath",
                            {"--control-socket"},
                            false,
                            ScanFormat::Barcode,
                            "",
                            false,
                            "--control-socket needs a path"},
                OptionsCase{"SocketWithEmptyPath",
                            {"--control-socket="},
                            false,
                            ScanFormat::Barcode,
                            "",
                            false,
                            "--control-socket needs a path"},
                OptionsCase{"UnknownOption",
                            {"--verbose"},
                            false,
                            ScanFormat::Barcode,
                            "",
                            false,
                            "unknown option --verbose"},
                OptionsCase{"StrayArgument",
                            {"scan"},
                            false,
                            ScanFormat::Barcode,
                            "",
                            false,
                            "unexpected argument scan"}),
        [](const ::testing::TestParamInfo<OptionsCase>& info) { return info.param.name; });

} // namespace
