// What one scan costs the decoding libraries: decode, repair and label of a
// record, beside a baseline that only copies the record's bytes.
#include "code_text.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A real UPC-E record sent without check digit, so the repair has work.
const std::string UPCE_RECORD = ".C3nZC3nZC3nYCxP2Dxb1CNnY.fHmg.C3DXDNf1CG.";
// A real Bookland record.
const std::string ISBN_RECORD = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";

const std::string& record_for(int which)
{
	return which == 0 ? UPCE_RECORD : ISBN_RECORD;
}

void BM_CopyRecord(benchmark::State& state)
{
	const std::string& record = record_for(static_cast<int>(state.range(0)));
	for (auto _ : state) {
		std::string copy(record);
		benchmark::DoNotOptimize(copy.data());
		benchmark::ClobberMemory();
	}
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * record.size()));
}

void BM_DecodeRepairLabel(benchmark::State& state)
{
	const std::string& record = record_for(static_cast<int>(state.range(0)));
	for (auto _ : state) {
		const std::string code = repair_upce(decode_record(record));
		std::string label = code_label(code);
		benchmark::DoNotOptimize(label.data());
		benchmark::ClobberMemory();
	}
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * record.size()));
}

} // namespace

// Argument 0: UPC-E record (decode, repair, label); 1: Bookland record.
BENCHMARK(BM_CopyRecord)->Arg(0)->Arg(1);
BENCHMARK(BM_DecodeRepairLabel)->Arg(0)->Arg(1);
