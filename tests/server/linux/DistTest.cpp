// The systemd user unit and the udev rule of an installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

std::string RunCommand(const std::string& command, int* status)
{
	std::string output;
	FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
	if (pipe == nullptr) {
		*status = -1;
		return output;
	}
	char buffer[4096];
	while (size_t count = std::fread(buffer, 1, sizeof(buffer), pipe))
		output.append(buffer, count);
	const int result = ::pclose(pipe);
	*status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
	return output;
}

bool HaveProgram(const std::string& name)
{
	int status = 0;
	RunCommand("command -v " + name, &status);
	return status == 0;
}

class TempFolder {
public:
	TempFolder()
	{
		char pattern[] = "/tmp/stria-dist-XXXXXX";
		fPath = ::mkdtemp(pattern);
	}
	~TempFolder() { fs::remove_all(fPath); }
	const std::string& Path() const { return fPath; }

private:
	std::string fPath;
};

// Checks a unit with systemd-analyze verify as a user unit, under an
// instance name the way a person enables it.
void ExpectUnitVerifies(const std::string& unit)
{
	if (!HaveProgram("systemd-analyze"))
		GTEST_SKIP() << "systemd-analyze is not installed";
	TempFolder folder;
	const std::string instance =
	        folder.Path() + "/stria-input-server@usb-Scanner_CueCat-event-kbd.service";
	fs::copy_file(unit, instance);
	fs::create_directories(folder.Path() + "/runtime");
	fs::permissions(folder.Path() + "/runtime", fs::perms::owner_all);
	int status = 0;
	const std::string output =
	        RunCommand("XDG_RUNTIME_DIR=" + folder.Path() +
	                           "/runtime systemd-analyze verify --user '" + instance + "'",
	                   &status);
	EXPECT_EQ(status, 0) << output;
	EXPECT_EQ(output, "") << "systemd-analyze has remarks";
}

TEST(Dist, TheBuildTreesUnitVerifies)
{
	ExpectUnitVerifies(STRIA_BINARY_DIR "/dist/stria-input-server@.service");
}

// A udev rule line: comma-separated KEY, KEY{attribute} with an operator
// and a quoted value.
TEST(Dist, TheUdevRuleIsWellFormedAndGrantsBothNodes)
{
	std::ifstream in(STRIA_SOURCE_DIR "/dist/70-stria.rules");
	ASSERT_TRUE(in);
	const std::regex pair(R"re(\s*([A-Z_]+)(\{[^}]+\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*)re");
	const std::set<std::string> matchKeys = {"ACTION", "KERNEL", "SUBSYSTEM", "SUBSYSTEMS", "ATTRS",
	                                         "ATTR",   "ENV",    "SYMLINK",   "DRIVERS",    "TAG"};
	const std::set<std::string> assignKeys = {"TAG", "OPTIONS", "MODE", "GROUP", "OWNER", "ENV"};
	bool uinput = false;
	bool scanner = false;
	std::string line;
	int number = 0;
	while (std::getline(in, line)) {
		number++;
		if (line.empty() || line[0] == '#')
			continue;
		SCOPED_TRACE("line " + std::to_string(number) + ": " + line);
		std::stringstream fields(line);
		std::string field;
		std::map<std::string, std::string> matches;
		std::vector<std::string> assignments;
		while (std::getline(fields, field, ',')) {
			std::smatch parts;
			ASSERT_TRUE(std::regex_match(field, parts, pair)) << "field '" << field << "'";
			const std::string key = parts[1];
			const std::string op = parts[3];
			if (op == "==" || op == "!=") {
				EXPECT_TRUE(matchKeys.count(key)) << key << " does not match";
				matches[key] = parts[4];
			} else {
				EXPECT_TRUE(assignKeys.count(key)) << key << " is not assigned";
				assignments.push_back(key + op + std::string(parts[4]));
			}
		}
		const bool grants = std::find(assignments.begin(), assignments.end(), "TAG+=uaccess") !=
		                    assignments.end();
		EXPECT_TRUE(grants) << "each rule gives the seat's user access";
		if (matches["KERNEL"] == "uinput" && matches["SUBSYSTEM"] == "misc")
			uinput = grants;
		if (matches["SUBSYSTEM"] == "input" && matches["SYMLINK"].rfind("input/by-id/", 0) == 0)
			scanner = grants;
	}
	EXPECT_TRUE(uinput) << "a rule for /dev/uinput";
	EXPECT_TRUE(scanner) << "a rule for the scanner by its by-id name";

	if (HaveProgram("udevadm")) {
		int status = 0;
		const std::string help = RunCommand("udevadm --help", &status);
		if (help.find("verify") != std::string::npos) {
			const std::string output =
			        RunCommand("udevadm verify " STRIA_SOURCE_DIR "/dist/70-stria.rules", &status);
			EXPECT_EQ(status, 0) << output;
		}
	}
}

// cmake --install into a fresh prefix: the programs, the add-ons where the
// installed server looks, the unit naming the installed server, the rule.
TEST(Dist, InstallationIsCompleteAndTheInstalledServerFindsItsAddOns)
{
	TempFolder prefix;
	int status = 0;
	std::string output = RunCommand(
	        "cmake --install '" STRIA_BINARY_DIR "' --prefix '" + prefix.Path() + "'", &status);
	ASSERT_EQ(status, 0) << output;
	for (const char* file :
	     {"bin/stria-input-server", "bin/stria-listen", "bin/stria-typer", "bin/cuecat",
	      "lib/stria/add-ons/StriaFilter", "lib/stria/add-ons/StriaDevice",
	      "lib/stria/add-ons/StriaTyper", "share/stria/examples/typer.settings",
	      "lib/systemd/user/stria-input-server@.service", "share/stria/70-stria.rules",
	      "share/stria/input-server.env.example"}) {
		EXPECT_TRUE(fs::exists(prefix.Path() + "/" + file)) << file;
	}
	const std::string unit = prefix.Path() + "/lib/systemd/user/stria-input-server@.service";
	std::ifstream unitIn(unit);
	std::string unitText((std::istreambuf_iterator<char>(unitIn)),
	                     std::istreambuf_iterator<char>());
	EXPECT_NE(unitText.find("ExecStart=" + prefix.Path() +
	                        "/bin/stria-input-server --device "
	                        "/dev/input/by-id/%i --uinput"),
	          std::string::npos)
	        << unitText;
	ExpectUnitVerifies(unit);

	// Every installed program starts (finds its libraries).
	for (const char* command :
	     {"bin/stria-input-server --help", "bin/stria-listen --help", "bin/cuecat </dev/null"}) {
		output = RunCommand(prefix.Path() + "/" + command, &status);
		EXPECT_EQ(status, 0) << command << ": " << output;
	}

	// No --add-ons: the scans are decoded only if both add-ons were found.
	output = RunCommand(
	        "'" + prefix.Path() +
	                "/bin/stria-input-server' --device '" STRIA_FIXTURES_DIR
	                "/cuecat-scans.events' --fast --print --subscribe --control-socket '" +
	                prefix.Path() + "/control'",
	        &status);
	EXPECT_EQ(status, 0) << output;
	EXPECT_NE(output.find("CATSCAN IBN 9780201889543"), std::string::npos) << output;
	EXPECT_NE(output.find("CATSCAN UPA 059280201638"), std::string::npos) << output;
}

// The Debian package, made by cpack from this build: what it holds and
// declares, installed into a fresh root with dpkg (nothing but the
// package's own files there, so it must need no shell and no maintainer
// script), and the installed server replaying the installed example.
TEST(Dist, TheDebianPackageInstallsIntoAFreshRootAndPlaysTheExample)
{
	for (const char* program : {"cpack", "dpkg", "dpkg-deb", "dpkg-shlibdeps", "file"}) {
		if (!HaveProgram(program))
			GTEST_SKIP() << program << " is not installed (./dev.sh deps installs it)";
	}
	TempFolder work;
	int status = 0;
	std::string output = RunCommand("cd '" + work.Path() +
	                                        "' && cpack -G DEB --config '" STRIA_BINARY_DIR
	                                        "/CPackConfig.cmake' -B '" +
	                                        work.Path() + "/out'",
	                                &status);
	ASSERT_EQ(status, 0) << output;
	std::vector<std::string> packages;
	for (const auto& entry : fs::directory_iterator(work.Path() + "/out")) {
		if (entry.path().extension() == ".deb")
			packages.push_back(entry.path().filename().string());
	}
	ASSERT_EQ(packages.size(), 1u) << output;
	EXPECT_TRUE(
	        std::regex_match(packages[0], std::regex(R"(stria_[0-9]+\.[0-9]+\.[0-9]+_amd64\.deb)")))
	        << packages[0];
	const std::string deb = work.Path() + "/out/" + packages[0];

	// Everything an installation needs, under /usr.
	const std::string contents = RunCommand("dpkg-deb -c '" + deb + "'", &status);
	ASSERT_EQ(status, 0) << contents;
	for (const char* file :
	     {"./usr/bin/stria-input-server", "./usr/bin/stria-listen", "./usr/bin/stria-typer",
	      "./usr/bin/cuecat", "./usr/lib/stria/add-ons/StriaFilter",
	      "./usr/lib/stria/add-ons/StriaDevice", "./usr/lib/stria/add-ons/StriaTyper",
	      "./usr/share/stria/examples/typer.settings",
	      "./usr/lib/stria/kits/libstria_app.so",
	      "./usr/lib/systemd/user/stria-input-server@.service", "./usr/share/stria/70-stria.rules",
	      "./usr/share/stria/input-server.env.example", "./usr/share/stria/examples/session.replay",
	      "./usr/share/doc/stria/README.md"}) {
		EXPECT_NE(contents.find(std::string(file) + "\n"), std::string::npos) << file;
	}

	// Its dependencies are named, and each is a package of this system.
	std::string depends = RunCommand("dpkg-deb -f '" + deb + "' Depends", &status);
	ASSERT_EQ(status, 0) << depends;
	std::set<std::string> named;
	const std::regex name(R"((?:^|, )([a-z0-9][a-z0-9.+-]+))");
	for (std::sregex_iterator it(depends.begin(), depends.end(), name), end; it != end; ++it)
		named.insert((*it)[1]);
	for (const char* needed : {"libc6", "libstdc++6", "libcairo2", "libx11-6", "fonts-dejavu-core",
	                           "libxkbcommon0", "libxkbcommon-x11-0", "xkb-data"})
		EXPECT_TRUE(named.count(needed)) << needed << " in " << depends;
	for (const std::string& package : named) {
		RunCommand("dpkg-query -W '" + package + "'", &status);
		EXPECT_EQ(status, 0) << package << " is not a package of this system";
	}

	// A root with nothing but an empty package database.
	const std::string root = work.Path() + "/root";
	for (const char* folder :
	     {"/var/lib/dpkg/info", "/var/lib/dpkg/updates", "/var/lib/dpkg/triggers"})
		fs::create_directories(root + folder);
	std::ofstream(root + "/var/lib/dpkg/status");
	output = RunCommand("dpkg --root='" + root +
	                            "' --force-not-root --force-depends --log=/dev/null -i '" + deb +
	                            "'",
	                    &status);
	ASSERT_EQ(status, 0) << output;
	output = RunCommand("dpkg --root='" + root + "' -s stria", &status);
	EXPECT_NE(output.find("Status: install ok installed"), std::string::npos) << output;

	std::ifstream unitIn(root + "/usr/lib/systemd/user/stria-input-server@.service");
	std::string unit((std::istreambuf_iterator<char>(unitIn)), std::istreambuf_iterator<char>());
	EXPECT_NE(unit.find("ExecStart=/usr/bin/stria-input-server --device /dev/input/by-id/%i"),
	          std::string::npos)
	        << unit;

	// The installed server finds its installed add-ons and kits on its own.
	output = RunCommand("'" + root + "/usr/bin/stria-input-server' --replay '" + root +
	                            "/usr/share/stria/examples/session.replay' --fast --print "
	                            "--subscribe --control-socket '" +
	                            work.Path() + "/control'",
	                    &status);
	EXPECT_EQ(status, 0) << output;
	EXPECT_NE(output.find("add-ons from " + root + "/usr/lib/stria/add-ons: 1 filter(s)"),
	          std::string::npos)
	        << output;
	std::vector<std::string> scans;
	std::istringstream lines(output);
	for (std::string line; std::getline(lines, line);) {
		if (line.starts_with("CATSCAN ") || line == "SHUTDOWN")
			scans.push_back(line);
	}
	EXPECT_EQ(scans, (std::vector<std::string>{"CATSCAN IBN 9780201889543",
	                                           "CATSCAN UPA 059280201638", "CATSCAN UPE 04252614",
	                                           "CATSCAN 128 STRIA-2026", "SHUTDOWN"}));
}

} // namespace
