#include "FixtureSessions.h"

#include "UsKeyboard.h"

#include <linux/input-event-codes.h>

namespace stria::test {

const char* const kBooklandRecord = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";
const char* const kUpcARecord = ".C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.";

namespace {

// HID usages a USB keyboard reports with each key (EV_MSC MSC_SCAN),
// 0 for keys left without.
int32 Usage(uint16 code)
{
	if (code >= KEY_1 && code <= KEY_9)
		return 0x1e + (code - KEY_1);
	static const struct {
		uint16 code;
		int32 usage;
	} usages[] = {
	        {KEY_0, 0x27},          {KEY_ENTER, 0x28},     {KEY_ESC, 0x29},
	        {KEY_BACKSPACE, 0x2a},  {KEY_TAB, 0x2b},       {KEY_SPACE, 0x2c},
	        {KEY_MINUS, 0x2d},      {KEY_EQUAL, 0x2e},     {KEY_LEFTBRACE, 0x2f},
	        {KEY_RIGHTBRACE, 0x30}, {KEY_BACKSLASH, 0x31}, {KEY_SEMICOLON, 0x33},
	        {KEY_APOSTROPHE, 0x34}, {KEY_GRAVE, 0x35},     {KEY_COMMA, 0x36},
	        {KEY_DOT, 0x37},        {KEY_SLASH, 0x38},     {KEY_CAPSLOCK, 0x39},
	        {KEY_F10, 0x43},        {KEY_LEFTCTRL, 0xe0},  {KEY_LEFTSHIFT, 0xe1},
	        {KEY_LEFTALT, 0xe2},    {KEY_A, 0x04},         {KEY_B, 0x05},
	        {KEY_C, 0x06},          {KEY_D, 0x07},         {KEY_E, 0x08},
	        {KEY_F, 0x09},          {KEY_G, 0x0a},         {KEY_H, 0x0b},
	        {KEY_I, 0x0c},          {KEY_J, 0x0d},         {KEY_K, 0x0e},
	        {KEY_L, 0x0f},          {KEY_M, 0x10},         {KEY_N, 0x11},
	        {KEY_O, 0x12},          {KEY_P, 0x13},         {KEY_Q, 0x14},
	        {KEY_R, 0x15},          {KEY_S, 0x16},         {KEY_T, 0x17},
	        {KEY_U, 0x18},          {KEY_V, 0x19},         {KEY_W, 0x1a},
	        {KEY_X, 0x1b},          {KEY_Y, 0x1c},         {KEY_Z, 0x1d},
	};
	for (const auto& entry : usages) {
		if (entry.code == code)
			return entry.usage;
	}
	return 0;
}

uint16 LinuxCode(int32 beKey)
{
	return static_cast<uint16>(UsKeyboard::LinuxFromBeKey(beKey));
}

} // namespace

SessionBuilder::SessionBuilder(std::string name, bigtime_t start) : fNow(start)
{
	fSession.name = std::move(name);
}

// One key change as a USB keyboard reports it: the usage, the key, a
// SYN_REPORT, all with the same time stamp.
void SessionBuilder::Event(uint16 code, int32 value, bool person)
{
	const int32 usage = Usage(code);
	if (usage != 0 && value != 2)
		fSession.records.push_back(EventRecord::At(fNow, EV_MSC, MSC_SCAN, 0x70000 | usage));
	fSession.records.push_back(EventRecord::At(fNow, EV_KEY, code, value));
	fSession.records.push_back(EventRecord::At(fNow, EV_SYN, SYN_REPORT, 0));
	if (person && value == 1)
		fSession.personPresses.push_back(code);
}

void SessionBuilder::Key(uint16 code, int32 value, bool person, bigtime_t after)
{
	Event(code, value, person);
	fNow += after;
}

SessionBuilder& SessionBuilder::Type(const std::string& text)
{
	for (char c : text) {
		const std::optional<KeyStroke> stroke = UsKeyboard::StrokeFor(c);
		if (!stroke)
			continue;
		const uint16 code = LinuxCode(stroke->key);
		if (stroke->shift)
			Key(KEY_LEFTSHIFT, 1, true, 45000);
		Key(code, 1, true, 85000);
		Key(code, 0, true, stroke->shift ? 30000 : 40000);
		if (stroke->shift)
			Key(KEY_LEFTSHIFT, 0, true, 25000);
	}
	return *this;
}

SessionBuilder& SessionBuilder::Tap(uint16 code, bigtime_t hold)
{
	Key(code, 1, true, hold);
	Key(code, 0, true, 120000);
	return *this;
}

SessionBuilder& SessionBuilder::Hold(uint16 code, bigtime_t hold, bool shift)
{
	auto repeat = [this](uint16 repeated, bigtime_t held) {
		bigtime_t elapsed = 0;
		for (bigtime_t next = 250000; next < held; next += 33000) {
			fNow += next - elapsed;
			elapsed = next;
			Event(repeated, 2, false);
		}
		fNow += held - elapsed;
	};
	if (shift) {
		Key(KEY_LEFTSHIFT, 1, true, 0);
		repeat(KEY_LEFTSHIFT, 400000);
	}
	Key(code, 1, true, 0);
	repeat(code, hold);
	Key(code, 0, true, shift ? 30000 : 120000);
	if (shift)
		Key(KEY_LEFTSHIFT, 0, true, 120000);
	return *this;
}

SessionBuilder& SessionBuilder::Pause(bigtime_t microseconds)
{
	fNow += microseconds;
	return *this;
}

SessionBuilder& SessionBuilder::Scan(const std::string& record, const std::string& barcode)
{
	Key(KEY_LEFTALT, 1, false, 500);
	Key(KEY_F10, 1, false, 500);
	Key(KEY_F10, 0, false, 500);
	Key(KEY_LEFTALT, 0, false, 1000);
	for (char c : record + "\n") {
		const std::optional<KeyStroke> stroke = UsKeyboard::StrokeFor(c);
		if (!stroke)
			continue;
		const uint16 code = LinuxCode(stroke->key);
		if (stroke->shift)
			Key(KEY_LEFTSHIFT, 1, false, 250);
		Key(code, 1, false, 1000);
		Key(code, 0, false, stroke->shift ? 250 : 1000);
		if (stroke->shift)
			Key(KEY_LEFTSHIFT, 0, false, 500);
	}
	fSession.barcodes.push_back(barcode);
	fNow += 300000;
	return *this;
}

std::vector<Session> FixtureSessions()
{
	return {
	        SessionBuilder("cuecat-scans")
	                .Scan(kBooklandRecord, "IBN 9780201889543")
	                .Scan(kUpcARecord, "UPA 059280201638")
	                .Build(),
	        SessionBuilder("person-typing")
	                .Type("Hello, World!")
	                .Pause(300000)
	                .Tap(KEY_CAPSLOCK)
	                .Type("abc 1")
	                .Tap(KEY_CAPSLOCK)
	                .Type(" ok?\n")
	                .Build(),
	        SessionBuilder("lone-f10").Tap(KEY_F10).Pause(400000).Type("x").Build(),
	        SessionBuilder("auto-repeat").Hold(KEY_A, 1000000).Hold(KEY_B, 400000, true).Build(),
	        SessionBuilder("session")
	                .Type("Order 7: ")
	                .Pause(500000)
	                .Scan(kBooklandRecord, "IBN 9780201889543")
	                .Type("ok\n")
	                .Pause(500000)
	                .Scan(kUpcARecord, "UPA 059280201638")
	                .Tap(KEY_F10)
	                .Pause(300000)
	                .Type("Done.")
	                .Build(),
	};
}

} // namespace stria::test
