#include "StriaTyper.h"

#include "DesktopLayout.h"
#include "LayoutKeys.h"
#include "TyperLooper.h"
#include "TyperSettingsFile.h"
#include "Typist.h"

#include <Input.h>
#include <Message.h>
#include <Messenger.h>
#include <StriaClock.h>
#include <StriaLog.h>
#include <StriaProtocol.h>
#include <StriaSubscribe.h>
#include <private/InputServerHost.h>


namespace {

// Lives as long as the add-on; the reference wants a mutable pointer.
char sDeviceName[] = "Stria Typer";

// How long a settings reply may take to reach the one who asked.
const bigtime_t kReplyTimeout = 2000000;

TyperSettings SettingsFromFile()
{
	const std::string path = TyperSettingsPath();
	TyperSettingsText read = ReadTyperSettings(path);
	for (const std::string& error : read.errors)
		stria::Log("StriaTyper", "%s; line left out", error.c_str());
	return read.settings;
}

Typist::Layouts DesktopLayouts()
{
	auto desktop = std::make_shared<DesktopLayout>(
	        DesktopLayout::SystemSources(),
	        [](const std::string& line) { stria::Log("StriaTyper", "%s", line.c_str()); });
	return [desktop](const TyperSettings& settings, std::string* error) {
		return desktop->For(settings, error);
	};
}

} // namespace

StriaTyper::StriaTyper() : StriaTyper(SettingsFromFile(), StriaClock::System(), DesktopLayouts())
{
}

StriaTyper::StriaTyper(const TyperSettings& settings, StriaClock* clock, Typist::Layouts layouts)
    : BInputServerDevice()
{
	fTypist = std::make_unique<Typist>(
	        [this](std::vector<std::unique_ptr<BMessage>> messages) {
		        std::vector<BMessage*> released;
		        for (std::unique_ptr<BMessage>& message : messages)
			        released.push_back(message.release());
		        const int32 count = (int32)released.size();
		        return BPrivate::enqueue_messages(this, released.data(), count) == B_OK;
	        },
	        &StriaTyper::_Log, clock, settings, std::move(layouts));
}

StriaTyper::~StriaTyper()
{
	fTypist->Finish();
	std::lock_guard lock(fLooperLock);
	if (fLooper != nullptr && fLooper->Lock())
		fLooper->Quit();
	fLooper = nullptr;
}

void StriaTyper::_Log(const std::string& line)
{
	stria::Log("StriaTyper", "%s", line.c_str());
}

status_t StriaTyper::InitCheck()
{
	static_assert(sizeof(sDeviceName) == sizeof(STRIA_TYPER_DEVICE_NAME));
	input_device_ref device = {sDeviceName, B_UNDEFINED_DEVICE, NULL};
	input_device_ref* devices[] = {&device, NULL};
	return RegisterDevices(devices);
}

status_t StriaTyper::Start(const char*, void*)
{
	BMessenger messenger;
	{
		std::lock_guard lock(fLooperLock);
		if (fLooper == nullptr) {
			fLooper = new TyperLooper(fTypist.get());
			fLooper->Run();
		}
		messenger = BMessenger(fLooper);
	}

	if (subscribe_to_scans(messenger) != B_OK) {
		_Log(std::string("cannot subscribe to \"") + STRIA_DEVICE_NAME +
		    "\" (is the StriaDevice add-on loaded?); scans are not typed");
	}
	return B_OK;
}

status_t StriaTyper::Stop(const char*, void*)
{
	fTypist->Finish();
	return B_OK;
}

status_t StriaTyper::SystemShuttingDown()
{
	fTypist->Finish();
	return B_OK;
}

TyperSettings StriaTyper::Settings() const
{
	return fTypist->Settings();
}

status_t StriaTyper::Control(const char*, void*, uint32 code, BMessage* message)
{
	if (code != STRIA_TYPER_SETTINGS)
		return B_BAD_VALUE;
	return _ChangeSettings(message);
}

status_t StriaTyper::_ChangeSettings(BMessage* message)
{
	// Every value is checked before any applies: a request changes all it
	// names or nothing.
	std::unique_lock changing(fSettingsLock);
	TyperSettings settings = fTypist->Settings();
	status_t result = B_OK;
	if (message != NULL) {
		const char* text = NULL;
		std::string error;
		if (message->FindString(STRIA_TYPER_TYPE_FIELD, &text) == B_OK &&
		    !settings.Set("type", text, &error))
			result = B_BAD_VALUE;
		if (message->FindString(STRIA_TYPER_END_FIELD, &text) == B_OK &&
		    !settings.Set("end", text, &error))
			result = B_BAD_VALUE;
		int64 delay = 0;
		if (message->FindInt64(STRIA_TYPER_DELAY_FIELD, &delay) == B_OK &&
		    !settings.Set("key-delay", std::to_string(delay), &error))
			result = B_BAD_VALUE;
		if (_ChangeLayout(message, &settings) != B_OK)
			result = B_BAD_VALUE;
	}
	if (result == B_OK && message != NULL) {
		TyperSettings before = fTypist->Settings();
		fTypist->SetSettings(settings);
		if (settings != before)
			_Log("settings now: " + settings.Describe());
	} else {
		settings = fTypist->Settings();
	}

	changing.unlock();

	if (message != NULL) {
		BMessenger replyTo;
		const bool answer = message->FindMessenger(STRIA_MESSENGER_FIELD, &replyTo) == B_OK;
		message->RemoveName(STRIA_TYPER_TYPE_FIELD);
		message->RemoveName(STRIA_TYPER_END_FIELD);
		message->RemoveName(STRIA_TYPER_DELAY_FIELD);
		message->RemoveName(STRIA_TYPER_LAYOUT_FIELD);
		message->RemoveName(STRIA_TYPER_VARIANT_FIELD);
		message->AddString(STRIA_TYPER_TYPE_FIELD, TyperSettings::Name(settings.type));
		message->AddString(STRIA_TYPER_END_FIELD, TyperSettings::Name(settings.end));
		message->AddInt64(STRIA_TYPER_DELAY_FIELD, settings.keyDelay);
		message->AddString(STRIA_TYPER_LAYOUT_FIELD, settings.layout.c_str());
		message->AddString(STRIA_TYPER_VARIANT_FIELD, settings.variant.c_str());
		if (answer) {
			BMessage reply(*message);
			reply.what = STRIA_TYPER_SETTINGS;
			reply.RemoveName(STRIA_MESSENGER_FIELD);
			replyTo.SendMessage(&reply, (BHandler*)NULL, kReplyTimeout);
		}
	}
	return result;
}

status_t StriaTyper::_ChangeLayout(const BMessage* message, TyperSettings* settings)
{
	const char* layout = NULL;
	const char* variant = NULL;
	const bool newLayout = message->FindString(STRIA_TYPER_LAYOUT_FIELD, &layout) == B_OK;
	const bool newVariant = message->FindString(STRIA_TYPER_VARIANT_FIELD, &variant) == B_OK;
	if (!newLayout && !newVariant)
		return B_OK;
	std::string error;
	if (newLayout && !settings->Set("layout", layout, &error))
		return B_BAD_VALUE;
	// Another layout starts with its basic variant, unless one is named.
	if (!settings->Set("variant", newVariant ? variant : "", &error))
		return B_BAD_VALUE;
	if (settings->layout.empty() && !settings->variant.empty())
		return B_BAD_VALUE;
	// A layout the system's keyboard data lacks would leave every scan
	// untyped: refused now, while the one who asked is there to see it.
	if (!settings->layout.empty() &&
	    !LayoutKeys::FromNames({"", settings->layout, settings->variant, ""}, &error)) {
		_Log("settings change refused: " + error);
		return B_BAD_VALUE;
	}
	return B_OK;
}
