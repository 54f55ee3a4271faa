// Times the card file and the collection at 1,000, 10,000 and 100,000 entries
// against two references: the straightforward quadratic merge, and the floor of
// reading and writing the same file's bytes with no parsing at all. Prints one table.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "bench/address_book_generator.h"
#include "data/card_codec.h"
#include "data/card_file.h"
#include "data/entry.h"
#include "interchange/codepage.h"
#include "interchange/csv.h"
#include "interchange/vcard.h"
#include "platform/files.h"

namespace {

const size_t kSizes[] = {1000, 10000, 100000};

// The card file "test.txt" of the current folder and the collection saved to it,
// as the window program has them.
CardFile bookFile(kCardFileName, files::realFileSystem());
std::vector<Entry> book;

// The collection as typed (no order, duplicates), and the card file it saves to.
struct Fixture {
    std::vector<Entry> typed;
    std::vector<Entry> normalised;
    std::string cardFile;  // path of a saved card file
    size_t fileBytes = 0;
};

Fixture& fixture(size_t count) {
    static std::map<size_t, Fixture> made;
    Fixture& f = made[count];
    if (f.cardFile.empty()) {
        f.typed = generateAddressBook(count);
        book = f.typed;
        bookFile.save(book);
        f.normalised = book;
        f.cardFile = "card-" + std::to_string(count) + ".txt";
        std::filesystem::rename(kCardFileName, f.cardFile);
        f.fileBytes = std::filesystem::file_size(f.cardFile);
    }
    return f;
}

void copyFixtureToCardFile(const Fixture& f) {
    std::filesystem::copy_file(f.cardFile, kCardFileName,
                               std::filesystem::copy_options::overwrite_existing);
}

// The merge as first described: a general-purpose sort, then for every entry a
// linear search of the new collection.
void quadraticNormalise(std::vector<Entry>& list) {
    std::sort(list.begin(), list.end(), entryLess);
    std::vector<Entry> merged;
    for (const Entry& e : list) {
        auto found = std::find_if(merged.begin(), merged.end(),
                                  [&](const Entry& m) { return sameNames(m, e); });
        if (found != merged.end()) {
            found->address = e.address;
            found->sex = e.sex;
        } else {
            merged.push_back(e);
        }
    }
    list = std::move(merged);
}

// The list's rows, built one at a time as the list box is filled.
void buildListRows() {
    std::string row;
    for (const Entry& e : book) {
        row.assign(e.lastName).append(" , ").append(e.firstName);
        benchmark::DoNotOptimize(row.data());
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes, bool durable) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    if (durable && ::fsync(fd) != 0) std::abort();
    ::close(fd);
}

void load(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    copyFixtureToCardFile(f);
    for (auto _ : state) {
        state.PauseTiming();
        book.clear();
        state.ResumeTiming();
        bookFile.load(book);
        benchmark::DoNotOptimize(book.data());
    }
}

void normalise(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        book = f.typed;
        state.ResumeTiming();
        normaliseEntries(book);
    }
}

void normaliseQuadratic(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Entry> list = f.typed;
        state.ResumeTiming();
        quadraticNormalise(list);
    }
}

void save(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    book = f.normalised;
    for (auto _ : state) {
        if (!bookFile.save(book)) std::abort();
    }
}

// What one Save does: put the form's entry, write the card file (which
// normalises), then rebuild the list's rows.
void saveCycle(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    book = f.normalised;
    Entry form = f.normalised[f.normalised.size() / 2];
    int round = 0;
    for (auto _ : state) {
        form.address = "Updated " + std::to_string(++round);  // updates an existing entry
        bookFile.put(book, form);
        if (!bookFile.save(book)) std::abort();
        buildListRows();
    }
}

void floorDurable(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    for (auto _ : state) writeFile("floor.txt", readFile(f.cardFile), true);
}

void floorCached(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    for (auto _ : state) writeFile("floor.txt", readFile(f.cardFile), false);
}

// qbcard's export: each entry made a contact and written as vCard 3.0 or a CSV row
// (qbcard writes the text out a piece at a time; here it is kept).
std::string exported(const std::vector<Entry>& collection, bool asVCard) {
    std::string out = asVCard ? "" : csv::header(csv::Layout::plain, true);
    for (const Entry& e : collection) {
        const Contact c = contactOf(e, codepage::kWestern);
        if (asVCard)
            vcard::appendCard(out, c, vcard::Version::v3);
        else
            csv::appendRow(out, c, csv::Layout::plain);
    }
    return out;
}

template <bool asVCard>
void exportBook(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(exported(f.normalised, asVCard));
}

// qbcard's import into an empty card file: read, convert, add, save.
template <bool asVCard>
void importBook(benchmark::State& state) {
    Fixture& f = fixture(state.range(0));
    const std::string text = exported(f.normalised, asVCard);
    for (auto _ : state) {
        state.PauseTiming();
        book.clear();
        std::filesystem::remove(kCardFileName);
        bookFile.load(book);
        state.ResumeTiming();
        std::vector<Contact> contacts = (asVCard ? vcard::read(text) : csv::read(text)).contacts;
        for (const Contact& c : contacts) {
            Entry e;
            std::string why;
            size_t replaced = 0;
            if (!entryOf(c, codepage::kWestern, false, e, why, replaced)) std::abort();
            book.push_back(e);
        }
        if (!bookFile.save(book)) std::abort();
    }
}

// Columns of the table, in order.
const struct {
    const char* name;
    void (*run)(benchmark::State&);
} kBenchmarks[] = {
    {"load", load},
    {"normalise", normalise},
    {"quadratic", normaliseQuadratic},
    {"save", save},
    {"save cycle", saveCycle},
    {"floor", floorDurable},
    {"floor no sync", floorCached},
    {"export vcard", exportBook<true>},
    {"import vcard", importBook<true>},
    {"export csv", exportBook<false>},
    {"import csv", importBook<false>},
};

class TableReporter : public benchmark::BenchmarkReporter {
  public:
    std::map<std::string, std::map<size_t, double>> milliseconds;

    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // With repetitions, the median of them replaces the single runs.
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            std::string name = run.benchmark_name();
            size_t slash = name.find('/');
            size_t count = std::stoul(name.substr(slash + 1));
            milliseconds[name.substr(0, slash)][count] = run.GetAdjustedRealTime();
            std::fprintf(stderr, ".");
        }
    }
};

// The process's resident memory now and at its peak, in KiB. Unlike getrusage's
// figure, the peak starts afresh in a new program.
void residentKiB(long* now, long* peak) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) *now = std::stol(line.substr(6));
        if (line.rfind("VmHWM:", 0) == 0) *peak = std::stol(line.substr(6));
    }
}

// What loading costs a program that has just started, as Quillborough does: the
// load's time, and its peak resident memory above what the process held before.
struct FreshLoad {
    double milliseconds = -1;
    long baselineKiB = 0, peakKiB = 0;
};

FreshLoad loadInFreshProcess(const std::string& path) {
    FreshLoad measured;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return measured;
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        dup2(pipeFds[1], 1);
        execl("/proc/self/exe", "qb_bench", "--fresh-load", path.c_str(), nullptr);
        _exit(1);
    }
    close(pipeFds[1]);
    char text[128] = {};
    ssize_t got = read(pipeFds[0], text, sizeof text - 1);
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    if (got > 0)
        std::sscanf(text, "%lf %ld %ld", &measured.milliseconds, &measured.baselineKiB,
                    &measured.peakKiB);
    return measured;
}

int freshLoad(const char* path) {
    std::filesystem::copy_file(path, kCardFileName,
                               std::filesystem::copy_options::overwrite_existing);
    long before = 0, peak = 0;
    residentKiB(&before, &peak);
    auto start = std::chrono::steady_clock::now();
    bookFile.load(book);
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    long after = 0;
    residentKiB(&after, &peak);
    std::printf("%f %ld %ld\n", took.count(), before, peak);
    return book.empty() ? 1 : 0;
}

void printTable(const TableReporter& table) {
    // Benchmarks left out by --benchmark_filter show as "nan".
    auto ms = [&](const char* name, size_t count) {
        auto column = table.milliseconds.find(name);
        if (column == table.milliseconds.end() || !column->second.count(count)) return std::nan("");
        return column->second.at(count);
    };
    std::printf("\nTimes in milliseconds per operation (the median where repeated).\n");
    std::printf(
        "floor: read the card file's bytes and write them to a new file, flushed to disk\n");
    std::printf(
        "quadratic: sort, then a linear search of the merged collection for every entry\n\n");
    std::printf("%9s %10s", "entries", "file KiB");
    for (const auto& b : kBenchmarks) std::printf(" %13s", b.name);
    std::printf(" %12s %14s %14s\n", "cycle/floor", "cycle/no sync", "quadratic/ours");
    for (size_t count : kSizes) {
        std::printf("%9zu %10zu", count, fixture(count).fileBytes / 1024);
        for (const auto& b : kBenchmarks) std::printf(" %13.3f", ms(b.name, count));
        std::printf(" %11.2fx %13.2fx %13.0fx\n", ms("save cycle", count) / ms("floor", count),
                    ms("save cycle", count) / ms("floor no sync", count),
                    ms("quadratic", count) / ms("normalise", count));
    }
    std::printf("%20s", "100,000 / 10,000");
    for (const auto& b : kBenchmarks)
        std::printf(" %12.1fx", ms(b.name, 100000) / ms(b.name, 10000));
    std::printf("\n");

    // Median of three fresh processes for each size.
    std::printf("\nLoading in a freshly started process, as at start-up:\n");
    for (size_t count : kSizes) {
        const Fixture& f = fixture(count);
        FreshLoad runs[3];
        for (FreshLoad& run : runs) run = loadInFreshProcess(f.cardFile);
        std::sort(std::begin(runs), std::end(runs), [](const FreshLoad& a, const FreshLoad& b) {
            return a.milliseconds < b.milliseconds;
        });
        const FreshLoad& median = runs[1];
        double fileKiB = f.fileBytes / 1024.0;
        long above = median.peakKiB - median.baselineKiB;
        std::printf(
            "%9zu entries: %8.3f ms; peak resident %6ld KiB above the %ld KiB before "
            "loading = %.2fx the %.0f KiB file\n",
            count, median.milliseconds, above, median.baselineKiB, above / fileKiB, fileKiB);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--fresh-load") return freshLoad(argv[2]);

    // Everything happens in a scratch folder: the card file has a fixed name.
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("qb-bench-" + std::to_string(getpid()));
    std::filesystem::create_directory(folder);
    std::filesystem::current_path(folder);

    for (const auto& b : kBenchmarks) {
        for (size_t count : kSizes) {
            auto* registered = benchmark::RegisterBenchmark(b.name, b.run);
            registered->Arg(static_cast<int64_t>(count))
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            // About twenty seconds a run: once is enough.
            if (std::string(b.name) == "quadratic" && count == 100000)
                registered->Iterations(1)->Repetitions(1);
        }
    }
    benchmark::Initialize(&argc, argv);
    std::fprintf(stderr, "preparing and timing");
    for (size_t count : kSizes) fixture(count);
    TableReporter table;
    benchmark::RunSpecifiedBenchmarks(&table);
    std::fprintf(stderr, "\n");
    printTable(table);

    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
