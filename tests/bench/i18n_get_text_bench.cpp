// Message lookups: each one scans its string file from the start.
#include <benchmark/benchmark.h>

#include <string>

#include "app/start_settings.h"
#include "i18n/built_in_strings.h"
#include "i18n/message_table.h"

namespace {

int LongestFileLanguage() {
    int longest = 0;
    for (int language = 1; language < kLanguageCount; ++language) {
        if (kStringFiles[language].lengthBytes > kStringFiles[longest].lengthBytes) {
            longest = language;
        }
    }
    return longest;
}

// The worst single lookup: the last entry of the longest file.
void BM_GetTextLastEntryOfLongestFile(benchmark::State& state) {
    g_language = LongestFileLanguage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetText(kMessageCount - 1));
    }
    state.SetLabel("language " + std::to_string(g_language));
}
BENCHMARK(BM_GetTextLastEntryOfLongestFile);

// The twenty lookups of one text refresh of the main window: the thirteen language names,
// the four button captions and the three status-line texts.
void BM_TextRefreshLookups(benchmark::State& state) {
    g_language = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int k = 0; k < kLanguageCount; ++k) {
            benchmark::DoNotOptimize(GetText(kLanguageNameBase + k));
        }
        for (int number : {0, 1, 2, 3, 10, 11, 12}) {
            benchmark::DoNotOptimize(GetText(number));
        }
    }
    state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_TextRefreshLookups)->Arg(0)->Arg(LongestFileLanguage());

} // namespace

BENCHMARK_MAIN();
