// RtoK against the literal form of the conversion (substring searches over
// the table strings), on typical titles and on the longest text RtoK accepts.
// A replaced global operator new counts allocations, to show that RtoK
// allocates its result once and nothing else.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/RtoK.h"
#include "support/LiteralRtoK.h"

namespace {
std::atomic<std::size_t> allocationCount{0};
}  // namespace

// Kept out of line: GCC inlines a replaced delete into its callers and then
// warns that free() meets memory from operator new.
#if defined(__GNUC__)
#define TAGKANA_NOINLINE __attribute__((noinline))
#else
#define TAGKANA_NOINLINE
#endif

TAGKANA_NOINLINE void* operator new(std::size_t size) {
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}
TAGKANA_NOINLINE void operator delete(void* block) noexcept {
  std::free(block);
}
TAGKANA_NOINLINE void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

using Converter = std::u16string (*)(std::u16string_view);

constexpr std::size_t TitleCount = 10000;
constexpr std::size_t LongestText = 32766;

// Titles of 5 to 60 characters: words of common syllables, some capitalised
// or in capitals, a few long vowels and apostrophes, numbers, all separated
// by spaces. The same seed gives the same titles on every run.
std::u16string makeTitle(std::mt19937& random) {
  static constexpr std::u16string_view syllables[] = {
      u"ka",  u"ki",  u"ku",  u"ke",  u"ko",  u"sa",  u"shi",  u"su",  u"se",  u"so",  u"ta",
      u"chi", u"tsu", u"te",  u"to",  u"na",  u"ni",  u"nu",   u"ne",  u"no",  u"ha",  u"hi",
      u"fu",  u"he",  u"ho",  u"ma",  u"mi",  u"mu",  u"me",   u"mo",  u"ya",  u"yu",  u"yo",
      u"ra",  u"ri",  u"ru",  u"re",  u"ro",  u"wa",  u"wo",   u"n",   u"ga",  u"gi",  u"gu",
      u"ge",  u"go",  u"za",  u"ji",  u"zu",  u"ze",  u"zo",   u"da",  u"de",  u"do",  u"ba",
      u"bi",  u"bu",  u"be",  u"bo",  u"pa",  u"pi",  u"pu",   u"pe",  u"po",  u"kya", u"kyu",
      u"kyo", u"sha", u"shu", u"sho", u"cha", u"chu", u"cho",  u"nya", u"ryu", u"ryo", u"a",
      u"i",   u"u",   u"e",   u"o",   u"tte", u"kko", u"sshi", u"ppo"};
  const std::size_t length = 5 + random() % 56;
  std::u16string title;
  while (title.size() < length) {
    if (!title.empty()) {
      title += u' ';
    }
    if (random() % 8 == 0) {
      for (const char digit : std::to_string(random() % 3000)) {
        title += static_cast<char16_t>(digit);
      }
      continue;
    }
    const std::size_t start = title.size();
    const std::size_t syllableCount = 1 + random() % 4;
    for (std::size_t i = 0; i < syllableCount; ++i) {
      title += syllables[random() % std::size(syllables)];
      if (random() % 24 == 0) {
        title += random() % 2 ? u'-' : u'\'';
      }
    }
    const auto style = random() % 16;
    for (std::size_t i = start; i < title.size(); ++i) {
      const bool upper = style == 0 || (style < 8 && i == start);
      if (upper && title[i] >= u'a' && title[i] <= u'z') {
        title[i] = static_cast<char16_t>(title[i] - u'a' + u'A');
      }
    }
  }
  title.resize(length);
  return title;
}

const std::vector<std::u16string>& titles() {
  static const std::vector<std::u16string> all = [] {
    std::mt19937 random(20240611);
    std::vector<std::u16string> made;
    made.reserve(TitleCount);
    while (made.size() < TitleCount) {
      made.push_back(makeTitle(random));
    }
    return made;
  }();
  return all;
}

const std::u16string& longestText() {
  static const std::u16string text = [] {
    std::u16string made;
    for (const auto& title : titles()) {
      made += title;
      made += u' ';
      if (made.size() >= LongestText) {
        break;
      }
    }
    made.resize(LongestText);
    return made;
  }();
  return text;
}

void reportAllocations(benchmark::State& state, std::size_t allocations, std::size_t calls) {
  state.counters["allocs/call"] = static_cast<double>(allocations) / static_cast<double>(calls);
}

template <Converter convert>
void convertTitles(benchmark::State& state) {
  const auto& all = titles();
  std::size_t characters = 0;
  for (const auto& title : all) {
    characters += title.size();
  }
  const std::size_t before = allocationCount.load();
  for (auto _ : state) {
    for (const auto& title : all) {
      benchmark::DoNotOptimize(convert(title));
    }
  }
  reportAllocations(state, allocationCount.load() - before, state.iterations() * all.size());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * all.size()));
  state.counters["chars/title"] = static_cast<double>(characters) / static_cast<double>(all.size());
}

template <Converter convert>
void convertLongestText(benchmark::State& state) {
  const auto& text = longestText();
  const std::size_t before = allocationCount.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(convert(text));
  }
  reportAllocations(state, allocationCount.load() - before, state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}

BENCHMARK(convertTitles<tagkana::RtoK>)->Name("RtoK/titles")->Unit(benchmark::kMicrosecond);
BENCHMARK(convertTitles<tagkana::test::literalRtoK>)
    ->Name("literal/titles")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(convertLongestText<tagkana::RtoK>)->Name("RtoK/32766")->Unit(benchmark::kMicrosecond);
BENCHMARK(convertLongestText<tagkana::test::literalRtoK>)
    ->Name("literal/32766")
    ->Unit(benchmark::kMicrosecond);

// A benchmark of a wrong answer is worth nothing: compare first.
bool sameResults() {
  for (const auto& title : titles()) {
    if (tagkana::RtoK(title) != tagkana::test::literalRtoK(title)) {
      return false;
    }
  }
  return tagkana::RtoK(longestText()) == tagkana::test::literalRtoK(longestText());
}

}  // namespace

int main(int argc, char** argv) {
  if (!sameResults()) {
    std::fputs("RtoK and its literal form disagree\n", stderr);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
