#include "PacedWriter.h"

#include <StriaClock.h>
#include <StriaTime.h>

#include <linux/input-event-codes.h>

namespace stria {

PacedWriter::PacedWriter(EventWriter& device, StriaClock& clock, Budget budget)
    : fDevice(device), fClock(clock), fBudget(budget)
{
}

bool PacedWriter::Write(std::span<const EventRecord> records)
{
	if (!fHealthy)
		return false;
	if (fWaiting.empty()) {
		if (fBudget.window <= 0) {
			_Emit(records);
			return fHealthy;
		}
		if (_Fits(_Recent(fClock.Now()), records.size())) {
			_Emit(records);
			return fHealthy;
		}
	}
	fWaiting.emplace_back(records.begin(), records.end());
	fWaitingRecords += records.size();
	return true;
}

bigtime_t PacedWriter::NextDue() const
{
	if (fWaiting.empty())
		return kLatestTime;
	const size_t size = fWaiting.front().size();
	size_t recent = fRecentRecords;
	bigtime_t due = kEarliestTime;
	// Each write leaves the window once the window has passed since it.
	for (const Written& written : fRecent) {
		if (_Fits(recent, size))
			return due;
		recent -= written.records;
		due = Shifted(written.at, fBudget.window + 1);
	}
	return due; // the window is empty then
}

void PacedWriter::WriteDue()
{
	while (!fWaiting.empty() && fHealthy) {
		if (fBudget.window > 0 && !_Fits(_Recent(fClock.Now()), fWaiting.front().size()))
			return;
		std::vector<EventRecord> records = std::move(fWaiting.front());
		fWaiting.pop_front();
		fWaitingRecords -= records.size();
		_Emit(records);
	}
}

size_t PacedWriter::LetGo()
{
	const size_t dropped = fWaitingRecords;
	fWaiting.clear();
	fWaitingRecords = 0;
	if (!fHealthy || fDown.none())
		return dropped;
	std::vector<EventRecord> releases;
	for (size_t code = 0; code < fDown.size(); code++) {
		if (!fDown.test(code))
			continue;
		releases.push_back(EventRecord::At(fLastStamp, EV_KEY, static_cast<uint16>(code), 0));
		releases.push_back(EventRecord::At(fLastStamp, EV_SYN, SYN_REPORT, 0));
	}
	_Emit(releases);
	return dropped;
}

void PacedWriter::_Emit(std::span<const EventRecord> records)
{
	if (!fDevice.Write(records)) {
		fHealthy = false;
		fWaiting.clear();
		fWaitingRecords = 0;
		return;
	}
	for (const EventRecord& record : records) {
		if (record.type == EV_KEY && record.code < fDown.size() && record.value != 2)
			fDown.set(record.code, record.value != 0);
	}
	if (!records.empty())
		fLastStamp = records.back().When().value_or(fLastStamp);
	if (fBudget.window > 0) {
		// Stamped once written: a write that took long counts from its end.
		fRecent.push_back({fClock.Now(), records.size()});
		fRecentRecords += records.size();
	}
}

bool PacedWriter::_Fits(size_t recent, size_t size) const
{
	// A write larger than the whole budget goes alone.
	return recent == 0 || (recent <= fBudget.records && size <= fBudget.records - recent);
}

size_t PacedWriter::_Recent(bigtime_t now)
{
	// A reader late by the window has read what was written a window ago
	// only at the window's very end: it counts until then.
	while (!fRecent.empty() && Shifted(fRecent.front().at, fBudget.window) < now) {
		fRecentRecords -= fRecent.front().records;
		fRecent.pop_front();
	}
	return fRecentRecords;
}

} // namespace stria
