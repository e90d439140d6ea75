#include <benchmark/benchmark.h>

#include <string>

#include "platform/CodePage.h"
#include "taglib/TagRecord.h"

namespace {

tagkana::TagRecord kanaRecord() {
  tagkana::TagRecord record;
  record.assignTitle(u"さくらさくら やよいのそらは みわたすかぎり かすみかくもか");
  record.Artist.replace(0, 12, u"Nihon no uta");
  record.Album.replace(0, 6, u"日本のうた集");
  return record;
}

void toAnsi(benchmark::State& state) {
  const tagkana::TagRecord record = kanaRecord();
  tagkana::AnsiTagRecord ansi{};
  for (auto _ : state) {
    record.toAnsi(ansi);
    benchmark::DoNotOptimize(ansi);
  }
}
BENCHMARK(toAnsi);

void fromAnsi(benchmark::State& state) {
  tagkana::AnsiTagRecord ansi{};
  kanaRecord().toAnsi(ansi);
  tagkana::TagRecord record;
  for (auto _ : state) {
    record.fromAnsi(ansi);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(fromAnsi);

void decodeKanaSlot(benchmark::State& state) {
  const std::string slot = tagkana::platform::encodeCp932(std::u16string(64, u'か'));
  for (auto _ : state) {
    benchmark::DoNotOptimize(tagkana::platform::decodeCp932(slot));
  }
}
BENCHMARK(decodeKanaSlot);

}  // namespace
