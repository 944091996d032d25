#include "TyperRequest.h"

#include "ServerReach.h"

#include <Input.h>
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>

#include <StriaProtocol.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace {

// How long the device's answer may take once the request is taken.
const std::chrono::seconds kAnswerTimeout(10);

// Takes the device's answer.
class AnswerLooper : public BLooper {
public:
	AnswerLooper() : BLooper("stria-typer answer") {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what != STRIA_TYPER_SETTINGS) {
			BLooper::MessageReceived(message);
			return;
		}
		std::lock_guard lock(fLock);
		fAnswer = *message;
		fCame.notify_all();
	}

	std::optional<BMessage> Wait()
	{
		std::unique_lock lock(fLock);
		fCame.wait_for(lock, kAnswerTimeout, [this] { return fAnswer.has_value(); });
		return fAnswer;
	}

private:
	std::mutex fLock;
	std::condition_variable fCame;
	std::optional<BMessage> fAnswer;
};

// Quits the looper however the request ends.
struct LooperQuitter {
	void operator()(AnswerLooper* looper) const
	{
		if (looper->Lock())
			looper->Quit();
	}
};

std::string SettingsText(const BMessage& answer)
{
	const char* type = "?";
	const char* end = "?";
	int64 delay = 0;
	const char* layout = "";
	const char* variant = "";
	bool freeText = false;
	answer.FindString(STRIA_TYPER_TYPE_FIELD, &type);
	answer.FindString(STRIA_TYPER_END_FIELD, &end);
	answer.FindInt64(STRIA_TYPER_DELAY_FIELD, &delay);
	answer.FindString(STRIA_TYPER_LAYOUT_FIELD, &layout);
	answer.FindString(STRIA_TYPER_VARIANT_FIELD, &variant);
	answer.FindBool(STRIA_TYPER_FREE_TEXT_FIELD, &freeText);
	// An empty value reads back as empty: the desktop's layout, the basic
	// variant.
	auto line = [](const char* name, const char* value) {
		return std::string(name) + " =" + (value[0] != '\0' ? " " : "") + value + "\n";
	};
	return std::string("type = ") + type + "\nend = " + end +
	       "\nkey-delay = " + std::to_string(delay) + "\n" + line("layout", layout) +
	       line("variant", variant) + line("free-text", freeText ? "yes" : "no");
}

// The answer to a request that failed, and why.
TyperAnswer Failure(std::string why, status_t reason = B_ERROR)
{
	return {reason, {}, std::move(why)};
}

} // namespace

TyperAnswer send_typer_request(const TyperOptions& options, const std::string& controlSocket)
{
	// The server is looked for through its scanner device, which every
	// Stria server has: no answer there means no server at all.
	std::unique_ptr<BInputDevice> scanner(find_input_device(STRIA_DEVICE_NAME));
	if (!scanner) {
		Unreachable why = why_no_server_answers(controlSocket);
		return Failure("no Stria input server answers at " + controlSocket + ": " + why.message,
		               why.reason);
	}
	std::unique_ptr<BInputDevice> typer(find_input_device(STRIA_TYPER_DEVICE_NAME));
	if (!typer) {
		return Failure("the input server at " + controlSocket + " has no \"" +
		               STRIA_TYPER_DEVICE_NAME + "\" device (is the StriaTyper add-on loaded?)");
	}

	std::unique_ptr<AnswerLooper, LooperQuitter> looper(new AnswerLooper());
	looper->Run();

	BMessage request(STRIA_TYPER_SETTINGS);
	if (options.type)
		request.AddString(STRIA_TYPER_TYPE_FIELD, options.type->c_str());
	if (options.end)
		request.AddString(STRIA_TYPER_END_FIELD, options.end->c_str());
	if (options.keyDelay)
		request.AddInt64(STRIA_TYPER_DELAY_FIELD, *options.keyDelay);
	if (options.layout)
		request.AddString(STRIA_TYPER_LAYOUT_FIELD, options.layout->c_str());
	if (options.variant)
		request.AddString(STRIA_TYPER_VARIANT_FIELD, options.variant->c_str());
	if (options.freeText)
		request.AddBool(STRIA_TYPER_FREE_TEXT_FIELD, *options.freeText);
	request.AddMessenger(STRIA_MESSENGER_FIELD, BMessenger(looper.get()));

	status_t status = typer->Control(STRIA_TYPER_SETTINGS, &request);
	// Every value was checked here already: a refusal is the server's, not
	// a wrong argument (a server older or newer than this command); its
	// answer says why.
	if (status == B_BAD_VALUE) {
		std::string why;
		const char* refusal = NULL;
		if (std::optional<BMessage> answer = looper->Wait();
		    answer && answer->FindString(STRIA_TYPER_REFUSAL_FIELD, &refusal) == B_OK)
			why = std::string(": ") + refusal;
		return Failure("the input server at " + controlSocket + " refused the change" + why);
	}
	if (status == B_PERMISSION_DENIED) {
		return Failure("the input server at " + controlSocket +
		               " belongs to another user, and only that user may change its typer");
	}
	if (status != B_OK) {
		return Failure("the input server at " + controlSocket +
		               " did not take the request (error " + std::to_string(status) + ")");
	}
	std::optional<BMessage> answer = looper->Wait();
	if (!answer) {
		return Failure("the input server at " + controlSocket +
		               " took the request but sent no settings back");
	}
	return {B_OK, SettingsText(*answer), {}};
}
