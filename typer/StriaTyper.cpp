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

// The settings message's changes applied to settings: empty when every
// field it holds is a value of its setting, else what is wrong with the
// first that is not (a field of the wrong type included).
std::string ApplyFields(const BMessage& message, TyperSettings* settings)
{
	std::string error;
	type_code type;
	auto has = [&](const char* name) { return message.GetInfo(name, &type) == B_OK; };
	const char* text = NULL;
	for (const char* name : {STRIA_TYPER_TYPE_FIELD, STRIA_TYPER_END_FIELD,
	                         STRIA_TYPER_LAYOUT_FIELD, STRIA_TYPER_VARIANT_FIELD}) {
		if (has(name) && message.FindString(name, &text) != B_OK)
			return std::string(name) + " must be a string";
	}
	// The layout and its variant go together: StriaTyper::_ChangeLayout.
	for (const char* name : {STRIA_TYPER_TYPE_FIELD, STRIA_TYPER_END_FIELD}) {
		if (message.FindString(name, &text) == B_OK && !settings->Set(name, text, &error))
			return error;
	}
	if (has(STRIA_TYPER_DELAY_FIELD)) {
		int64 delay = 0;
		if (message.FindInt64(STRIA_TYPER_DELAY_FIELD, &delay) != B_OK)
			return std::string(STRIA_TYPER_DELAY_FIELD) + " must be an int64";
		if (!settings->Set("key-delay", std::to_string(delay), &error))
			return error;
	}
	if (has(STRIA_TYPER_FREE_TEXT_FIELD)) {
		bool freeText = false;
		if (message.FindBool(STRIA_TYPER_FREE_TEXT_FIELD, &freeText) != B_OK)
			return std::string(STRIA_TYPER_FREE_TEXT_FIELD) + " must be a bool";
		settings->freeText = freeText;
	}
	return {};
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
			fLooper = new TyperLooper(fTypist.get(), &StriaTyper::_Log);
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
	std::string refusal = message != NULL ? ApplyFields(*message, &settings) : "";
	if (refusal.empty() && message != NULL)
		refusal = _ChangeLayout(message, &settings);
	if (!refusal.empty()) {
		settings = fTypist->Settings();
		_Log("settings change refused: " + refusal);
	} else if (message != NULL) {
		TyperSettings before = fTypist->Settings();
		fTypist->SetSettings(settings);
		if (settings != before)
			_Log("settings now: " + settings.Describe());
	}

	changing.unlock();

	if (message != NULL) {
		BMessenger replyTo;
		const bool answer = message->FindMessenger(STRIA_MESSENGER_FIELD, &replyTo) == B_OK;
		for (const char* name :
		     {STRIA_TYPER_TYPE_FIELD, STRIA_TYPER_END_FIELD, STRIA_TYPER_DELAY_FIELD,
		      STRIA_TYPER_LAYOUT_FIELD, STRIA_TYPER_VARIANT_FIELD, STRIA_TYPER_FREE_TEXT_FIELD,
		      STRIA_TYPER_REFUSAL_FIELD})
			message->RemoveName(name);
		message->AddString(STRIA_TYPER_TYPE_FIELD, TyperSettings::Name(settings.type));
		message->AddString(STRIA_TYPER_END_FIELD, TyperSettings::Name(settings.end));
		message->AddInt64(STRIA_TYPER_DELAY_FIELD, settings.keyDelay);
		message->AddString(STRIA_TYPER_LAYOUT_FIELD, settings.layout.c_str());
		message->AddString(STRIA_TYPER_VARIANT_FIELD, settings.variant.c_str());
		message->AddBool(STRIA_TYPER_FREE_TEXT_FIELD, settings.freeText);
		if (!refusal.empty())
			message->AddString(STRIA_TYPER_REFUSAL_FIELD, refusal.c_str());
		if (answer) {
			BMessage reply(*message);
			reply.what = STRIA_TYPER_SETTINGS;
			reply.RemoveName(STRIA_MESSENGER_FIELD);
			replyTo.SendMessage(&reply, (BHandler*)NULL, kReplyTimeout);
		}
	}
	return refusal.empty() ? B_OK : B_BAD_VALUE;
}

std::string StriaTyper::_ChangeLayout(const BMessage* message, TyperSettings* settings)
{
	const char* layout = NULL;
	const char* variant = NULL;
	const bool newLayout = message->FindString(STRIA_TYPER_LAYOUT_FIELD, &layout) == B_OK;
	const bool newVariant = message->FindString(STRIA_TYPER_VARIANT_FIELD, &variant) == B_OK;
	if (!newLayout && !newVariant)
		return {};
	std::string error;
	if (newLayout && !settings->Set("layout", layout, &error))
		return error;
	// Another layout starts with its basic variant, unless one is named.
	if (!settings->Set("variant", newVariant ? variant : "", &error))
		return error;
	if (settings->layout.empty() && !settings->variant.empty())
		return "a variant needs a layout";
	// A layout the system's keyboard data lacks would leave every scan
	// untyped: refused now, while the one who asked is there to see it.
	if (!settings->layout.empty() &&
	    !LayoutKeys::FromNames({"", settings->layout, settings->variant, ""}, &error))
		return error;
	return {};
}
