// The native archive's save and load, each set against what any durable store of the
// same bytes has to pay, measured in one run on one file system (a private directory
// made under /tmp and removed at exit):
//
//   save/archive            save of a new record into an empty store: 50 alternating user
//                           and assistant text messages of 4 KiB each, about 200 KB in all
//   save/bare_publish       the record's bytes into a new file (O_CREAT | O_EXCL), fsync,
//                           renameat2(RENAME_NOREPLACE) to its final name, fsync of the
//                           directory; nothing else
//   save/sqlite             HMAC-SHA-256 of the record, then one INSERT of (MAC, record)
//                           per transaction; write-ahead log, synchronous=FULL
//   load/archive            load of such a record
//   load/bare_read          open, read whole, HMAC-SHA-256 checked against the known MAC
//   load/sqlite             SELECT by MAC, then the same HMAC check
//   save_into_store/archive/N   save of a new record into a store that holds N records
//
//   cmake --preset release && cmake --build --preset release --target archive_bench
//   build/release/bench/archive_bench --benchmark_repetitions=3 --benchmark_min_time=0.5
//
// When all have run, the program prints the ratios the archive is held to, each from the
// median, over the repetitions, of the real time per operation of two benchmarks of this
// run: save into an empty store at most 1.5 times the bare publish and at most the SQLite
// insert, load at most twice the bare read, and save into a store of 1,000 records at
// most 4 times the save into a store of 10. Real time, because a save mostly waits for
// the disk.
//
// Then it counts the system calls of one save into an empty store, one load, and one
// save into stores of 10 and 100 records, whose difference gives the calls of the
// capacity scan per stored entry: "fresh", by archives just opened on files just made,
// and "settled", once the files are a quarter of a second old and an archive has seen
// them, when it no longer reads the access lists of what has not changed since. Unlike
// times, these counts are the same on every run:
// each operation runs once more in a forked child that this program traces (ptrace), and
// the calls that only manage memory (mmap, munmap, brk, mremap, madvise, mprotect) are
// left out, since their number depends on the allocator's state rather than on the
// operation. A program that may not trace its children says so and exits with status 1.
//
// save/archive and save/bare_publish keep their directories empty, and save_into_store
// keeps its store at exactly N records: each record is removed again, and the removal
// flushed, while the clock is stopped, so the next save pays for none of it and both
// sides of the first ratio publish into an empty directory. The SQLite database grows by
// one record per iteration, which costs it nothing measurable; its store_entries counter
// is the mean number of records already there when a save began. The N records are small
// (1 KiB of text): the store's capacity check looks at every entry but reads none.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <sqlite3.h>
#include <stdio.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "zu/core.hpp"

namespace {

constexpr std::string_view kOwner = "bench@local";
constexpr std::string_view kScope = "session-1";
constexpr std::size_t kMessages = 50;
constexpr std::size_t kTextBytes = 4096;
// The first characters of a record's first message count the saves of the run, so that
// no save finds its record already stored (which would write nothing).
constexpr std::size_t kStampDigits = 20;

// Room for far more records than a run makes, so capacity never refuses a save.
constexpr zu::NativeArchiveLimits kLimits{.max_records = 1u << 16};

using Mac = std::array<unsigned char, 32>;
using MacKey = std::array<unsigned char, 32>;

// ---------------------------------------------------------------------------------------
// The archive's inputs

// bench_descriptor returns a descriptor whose policy allows every benchmark record and
// 65,536 records in a store (max_records is bounded by max_message_count).
zu::descriptor::ValidatedDescriptor bench_descriptor() {
  constexpr zu::descriptor::CodecResources kResources{.max_digest_bytes = 1u << 24,
                                                      .max_json_depth = 64,
                                                      .max_json_entries = 1u << 16,
                                                      .max_message_count = 1u << 16,
                                                      .max_block_count = 1u << 16};
  return zu::descriptor::ValidatedDescriptor(
      {.revision = 1,
       .id = "bench-archive",
       .family = "openai.chat",
       .base_url = "https://api.example.test",
       .policy = std::make_shared<const zu::descriptor::DescriptorPolicy>("bench.policy.v1",
                                                                          kResources)});
}

// words returns `bytes` of word-like text that differs with `seed`.
std::string words(std::size_t bytes, std::size_t seed) {
  static constexpr std::string_view kWords[] = {"the ",     "archive ", "keeps ",   "every ",
                                                "reply ",   "of ",      "a ",       "long ",
                                                "session ", "sealed ",  "record ",  "tomorrow "};
  std::string out;
  out.reserve(bytes + 16);
  for (std::size_t i = seed; out.size() < bytes; i = i * 7 + 3) out += kWords[i % std::size(kWords)];
  out.resize(bytes);
  return out;
}

// conversation returns `count` messages, user and assistant in turn, each one Text block
// of `bytes` characters.
std::vector<zu::Message> conversation(std::size_t count, std::size_t bytes) {
  std::vector<zu::Message> messages;
  messages.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const bool user = i % 2 == 0;
    messages.push_back({user ? "" : "msg_" + std::to_string(i),
                        user ? zu::Role::user : zu::Role::assistant,
                        {zu::Text{words(bytes, i)}},
                        nullptr,
                        nullptr});
  }
  return messages;
}

// stamp writes `n` as kStampDigits decimal digits over the start of `bytes`.
void stamp(std::string& bytes, std::uint64_t n) {
  for (std::size_t i = kStampDigits; i-- > 0; n /= 10) bytes[i] = static_cast<char>('0' + n % 10);
}

std::string& first_text(std::vector<zu::Message>& messages) {
  return std::get<zu::Text>(messages.front().content.front()).text;
}

// same_texts returns whether two lists of one-Text-block messages agree in every member.
bool same_texts(const std::vector<zu::Message>& a, const std::vector<zu::Message>& b) {
  const auto same = [](const zu::Message& x, const zu::Message& y) {
    const auto* tx = x.content.size() == 1 ? std::get_if<zu::Text>(&x.content[0]) : nullptr;
    const auto* ty = y.content.size() == 1 ? std::get_if<zu::Text>(&y.content[0]) : nullptr;
    return x.id == y.id && x.role == y.role && tx != nullptr && ty != nullptr &&
           tx->text == ty->text && y.replay == nullptr && y.native == nullptr;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

// ---------------------------------------------------------------------------------------
// The scratch directory

int remove_entry(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
}

void remove_tree(const std::string& path) {
  ::nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string system_error(const std::string& what) { return what + ": " + std::strerror(errno); }

// load_average returns the machine's load averages over 1, 5 and 15 minutes as the kernel
// reports them, for the report: other work on the machine moves every figure.
std::string load_average() {
  std::FILE* file = std::fopen("/proc/loadavg", "r");
  if (file == nullptr) return "unknown";
  char text[64] = {};
  const bool read = std::fgets(text, sizeof text, file) != nullptr;
  std::fclose(file);
  if (!read) return "unknown";
  std::string_view figures(text);
  std::size_t end = 0;
  for (int field = 0; field < 3 && end != std::string_view::npos; ++field) {
    end = figures.find(' ', end + (field > 0 ? 1 : 0));
  }
  return std::string(figures.substr(0, end));
}

// file_system_name returns the name of the file system that holds `path`, for the report.
std::string file_system_name(const std::string& path) {
  struct statfs info {};
  if (::statfs(path.c_str(), &info) != 0) return "unknown";
  const auto type = static_cast<unsigned long>(info.f_type);
  const std::pair<unsigned long, const char*> kKnown[] = {
      {0xEF53, "ext4"}, {0x01021994, "tmpfs"}, {0x58465342, "xfs"}, {0x9123683E, "btrfs"},
      {0x794C7630, "overlayfs"}};
  for (const auto& [magic, name] : kKnown) {
    if (type == magic) return name;
  }
  char hex[32];
  std::snprintf(hex, sizeof hex, "type 0x%lx", type);
  return hex;
}

// Scratch is the run's private directory: every store, key file, plain file and database
// of the run lives in it, so all are measured on the same file system. Its key directory
// is private, as the archive requires. The whole tree is removed when Scratch ends.
class Scratch {
 public:
  Scratch() {
    std::string pattern = "/tmp/zu-archive-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(system_error("mkdtemp"));
    path_ = pattern;
    if (!make_directory(keys())) {
      const std::string error = system_error("mkdir " + keys());
      remove_tree(path_);
      throw std::runtime_error(error);
    }
  }
  ~Scratch() { remove_tree(path_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const noexcept { return path_; }
  std::string keys() const { return path_ + "/keys"; }

  // fresh returns a name in the scratch directory that the run has not used before.
  std::string fresh(std::string_view stem) {
    return path_ + "/" + std::string(stem) + "-" + std::to_string(++names_);
  }

  // fresh_directory makes a new private directory and returns its path, or nullopt.
  std::optional<std::string> fresh_directory(std::string_view stem) {
    std::string path = fresh(stem);
    if (!make_directory(path)) return std::nullopt;
    return path;
  }

 private:
  static bool make_directory(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 && ::chmod(path.c_str(), 0700) == 0;
  }

  std::string path_;
  std::uint64_t names_ = 0;
};

// ---------------------------------------------------------------------------------------
// Archives

// Store is one provisioned archive with the paths it was made with.
struct Store {
  std::string path;
  std::string key_path;
  std::shared_ptr<zu::NativeArchive> archive;
};

// provision makes a new store and key file in `scratch`, or returns nullopt when refused.
std::optional<Store> provision(Scratch& scratch) {
  std::string path = scratch.fresh("store");
  std::string key_path = scratch.keys() + path.substr(path.rfind('/')) + ".key";
  auto made = zu::NativeArchive::provision(path, key_path, std::string(kOwner),
                                           bench_descriptor(), kLimits);
  auto* archive = std::get_if<std::shared_ptr<zu::NativeArchive>>(&made);
  if (archive == nullptr) return std::nullopt;
  return Store{std::move(path), std::move(key_path), std::move(*archive)};
}

// reopen replaces the archive of `store` with one opened afresh, which remembers nothing
// of earlier scans; false when the open is refused.
bool reopen(Store& store) {
  store.archive.reset();
  auto opened = zu::NativeArchive::open(store.path, store.key_path, std::string(kOwner),
                                        bench_descriptor(), kLimits);
  auto* archive = std::get_if<std::shared_ptr<zu::NativeArchive>>(&opened);
  if (archive == nullptr) return false;
  store.archive = std::move(*archive);
  return true;
}

// discard closes the archive, then removes its store and key file from the disk.
void discard(Store& store) {
  store.archive.reset();
  remove_tree(store.path);
  ::unlink(store.key_path.c_str());
}

// record_path returns where `store` keeps the record of `archive_key`: the key's digits
// are the file's name.
std::string record_path(const Store& store, const std::string& archive_key) {
  return store.path + "/" + archive_key.substr(archive_key.find(':') + 1);
}

// ---------------------------------------------------------------------------------------
// The bare baselines

// Descriptor owns one open file descriptor (-1 when the open failed).
class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }

 private:
  int fd_;
};

Descriptor open_directory(const std::string& path) {
  return Descriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// bare_publish does the least that makes a new file durable and visible under its final
// name in one step, without ever replacing another: write under a staging name, flush
// the file, rename it without replacing, flush the directory that now names it.
bool bare_publish(int directory, std::string_view bytes, const std::string& staging,
                  const std::string& name) {
  {
    const Descriptor file(::openat(directory, staging.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file || !write_all(file.get(), bytes) || ::fsync(file.get()) != 0) return false;
  }
  return ::renameat2(directory, staging.c_str(), directory, name.c_str(), RENAME_NOREPLACE) ==
             0 &&
         ::fsync(directory) == 0;
}

// read_whole returns the contents of the file at `path`, or nullopt.
std::optional<std::string> read_whole(const std::string& path) {
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!file || ::fstat(file.get(), &info) != 0) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(file.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return bytes;
}

Mac hmac(const MacKey& key, std::string_view bytes) {
  Mac out{};
  unsigned int length = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data(), &length);
  return out;
}

// authentic returns whether `bytes` carry the MAC `expected`, compared in constant time
// as the archive compares.
bool authentic(const MacKey& key, std::string_view bytes, const Mac& expected) {
  const Mac computed = hmac(key, bytes);
  return CRYPTO_memcmp(computed.data(), expected.data(), computed.size()) == 0;
}

// ---------------------------------------------------------------------------------------
// The SQLite baseline

struct CloseDatabase {
  void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Database is one SQLite file set up as a careful application keeps such records: a
// write-ahead log, every commit flushed (synchronous=FULL), each record under its MAC.
// Statements are prepared once, as a long-lived store would keep them.
class Database {
 public:
  explicit Database(const std::string& path) {
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(db);
    ok_ = opened == SQLITE_OK && single_text("PRAGMA journal_mode=WAL") == "wal" &&
          sqlite3_exec(db_.get(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) ==
              SQLITE_OK &&
          single_text("PRAGMA synchronous") == "2" &&
          sqlite3_exec(db_.get(), "CREATE TABLE records (mac BLOB PRIMARY KEY, record BLOB)",
                       nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok_) return;
    insert_ = prepare("INSERT INTO records (mac, record) VALUES (?1, ?2)");
    select_ = prepare("SELECT record FROM records WHERE mac = ?1");
    ok_ = insert_ != nullptr && select_ != nullptr;
  }

  bool ok() const noexcept { return ok_; }

  // insert stores `record` under `mac` in a transaction of its own (autocommit).
  bool insert(const Mac& mac, std::string_view record) {
    sqlite3_stmt* s = insert_.get();
    const bool done =
        sqlite3_bind_blob(s, 1, mac.data(), static_cast<int>(mac.size()), SQLITE_STATIC) ==
            SQLITE_OK &&
        sqlite3_bind_blob(s, 2, record.data(), static_cast<int>(record.size()), SQLITE_STATIC) ==
            SQLITE_OK &&
        sqlite3_step(s) == SQLITE_DONE;
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return done;
  }

  // select returns a copy of the record stored under `mac`, or nullopt.
  std::optional<std::string> select(const Mac& mac) {
    sqlite3_stmt* s = select_.get();
    std::optional<std::string> record;
    if (sqlite3_bind_blob(s, 1, mac.data(), static_cast<int>(mac.size()), SQLITE_STATIC) ==
            SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, 0));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, 0));
      record.emplace(bytes == nullptr ? std::string() : std::string(bytes, size));
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return record;
  }

 private:
  Statement prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &statement, nullptr) != SQLITE_OK) return nullptr;
    return Statement(statement);
  }

  // single_text runs `sql` and returns the first column of its first row as text, which
  // is how the pragmas confirm the mode they set.
  std::string single_text(const char* sql) {
    const Statement statement = prepare(sql);
    if (statement == nullptr || sqlite3_step(statement.get()) != SQLITE_ROW) return {};
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
  }

  // db_ is declared first so that it closes after the statements are finalised.
  std::unique_ptr<sqlite3, CloseDatabase> db_;
  Statement insert_;
  Statement select_;
  bool ok_ = false;
};

// ---------------------------------------------------------------------------------------
// The benchmarks

// Bench is what every benchmark shares: the scratch directory, the conversation, the
// bytes of its record exactly as the archive writes them (which the baselines store),
// the baselines' MAC key, and the stores of save_into_store, kept across its runs.
struct Bench {
  Bench() {
    if (RAND_bytes(mac_key.data(), static_cast<int>(mac_key.size())) != 1)
      throw std::runtime_error("RAND_bytes failed");
    std::optional<Store> store = provision(scratch);
    if (!store) throw std::runtime_error("provision of a store under " + scratch.path() + " refused");
    const auto key = store->archive->save(messages, kScope);
    const auto* saved = std::get_if<std::string>(&key);
    std::optional<std::string> bytes;
    if (saved != nullptr) bytes = read_whole(record_path(*store, *saved));
    discard(*store);
    if (!bytes) throw std::runtime_error("the reference record could not be saved and read");
    record = std::move(*bytes);
  }

  // The scratch directory is declared first, so it is removed after every archive in it
  // has closed.
  Scratch scratch;
  std::vector<zu::Message> messages = conversation(kMessages, kTextBytes);
  std::string record;
  MacKey mac_key{};
  // saves counts every record of the run, so no two are the same.
  std::uint64_t saves = 0;
  std::map<std::int64_t, Store> filled;
};

// count_records sets the counters every benchmark reports: bytes per second over the
// record's size and, for those whose store grows, the mean number of records present
// when an operation began.
void count_records(benchmark::State& state, std::size_t record_bytes, bool growing) {
  const auto iterations = static_cast<std::int64_t>(state.iterations());
  state.SetBytesProcessed(iterations * static_cast<std::int64_t>(record_bytes));
  state.counters["record_bytes"] = static_cast<double>(record_bytes);
  if (growing && iterations > 0)
    state.counters["store_entries"] = static_cast<double>(iterations - 1) / 2.0;
}

// in_new_store runs `body` on a newly provisioned archive, which it removes afterwards.
template <typename Body>
void in_new_store(benchmark::State& state, Bench& bench, Body body) {
  std::optional<Store> store = provision(bench.scratch);
  if (!store) {
    state.SkipWithError("provision refused");
    return;
  }
  body(*store);
  discard(*store);
}

// in_new_directory runs `body` on a new private directory, which it removes afterwards.
template <typename Body>
void in_new_directory(benchmark::State& state, Bench& bench, std::string_view stem, Body body) {
  const std::optional<std::string> path = bench.scratch.fresh_directory(stem);
  if (!path) {
    state.SkipWithError("mkdir failed");
    return;
  }
  body(*path);
  remove_tree(*path);
}

// repeat runs `operation` once per iteration and stops the benchmark with `failure` the
// first time it returns false.
template <typename Operation>
void repeat(benchmark::State& state, const char* failure, Operation operation) {
  for (auto _ : state) {
    if (!operation()) {
      state.SkipWithError(failure);
      break;
    }
  }
}

void save_archive(benchmark::State& state, Bench& bench) {
  in_new_store(state, bench, [&](const Store& store) {
    const Descriptor directory = open_directory(store.path);
    std::vector<zu::Message> messages = bench.messages;
    repeat(state, "save refused, or its record could not be removed", [&] {
      stamp(first_text(messages), ++bench.saves);
      const auto key = store.archive->save(messages, kScope);
      // The store stays empty, so that this is the cost of one save and not of the
      // capacity check of a growing store (save_into_store measures that).
      state.PauseTiming();
      const auto* saved = std::get_if<std::string>(&key);
      const bool removed = saved != nullptr && directory &&
                           ::unlink(record_path(store, *saved).c_str()) == 0 &&
                           ::fsync(directory.get()) == 0;
      state.ResumeTiming();
      return removed;
    });
  });
  count_records(state, bench.record.size(), false);
}

void save_bare(benchmark::State& state, Bench& bench) {
  in_new_directory(state, bench, "publish", [&](const std::string& path) {
    const Descriptor directory = open_directory(path);
    std::uint64_t n = 0;
    repeat(state, "bare publish failed, or its file could not be removed", [&] {
      const std::string name = std::to_string(++n);
      const bool published =
          directory && bare_publish(directory.get(), bench.record, ".pending-" + name, name);
      // Emptied again as save/archive empties its store, so both publish into an empty
      // directory.
      state.PauseTiming();
      const bool removed = published && ::unlinkat(directory.get(), name.c_str(), 0) == 0 &&
                           ::fsync(directory.get()) == 0;
      state.ResumeTiming();
      return removed;
    });
  });
  count_records(state, bench.record.size(), false);
}

void save_sqlite(benchmark::State& state, Bench& bench) {
  in_new_directory(state, bench, "sqlite", [&](const std::string& path) {
    Database db(path + "/records.db");
    std::string record = bench.record;
    repeat(state, "sqlite insert failed", [&] {
      stamp(record, ++bench.saves);
      return db.ok() && db.insert(hmac(bench.mac_key, record), record);
    });
  });
  count_records(state, bench.record.size(), true);
}

// saved_and_checked saves `messages` into `store` and returns the archive key when a
// load gives back the same messages; checked once, outside the clock, since a load that
// returned something else would be measuring the wrong work.
std::optional<std::string> saved_and_checked(const Store& store,
                                             const std::vector<zu::Message>& messages) {
  const auto key = store.archive->save(messages, kScope);
  const auto* saved = std::get_if<std::string>(&key);
  if (saved == nullptr) return std::nullopt;
  const auto first = store.archive->load(*saved, kScope);
  const auto* loaded = std::get_if<std::vector<zu::Message>>(&first);
  if (loaded == nullptr || !same_texts(messages, *loaded)) return std::nullopt;
  return *saved;
}

void load_archive(benchmark::State& state, Bench& bench) {
  in_new_store(state, bench, [&](const Store& store) {
    std::vector<zu::Message> messages = bench.messages;
    stamp(first_text(messages), ++bench.saves);
    const std::optional<std::string> key = saved_and_checked(store, messages);
    if (!key) state.SkipWithError("load does not give back what was saved");
    repeat(state, "load refused", [&] {
      auto loaded = store.archive->load(*key, kScope);
      benchmark::DoNotOptimize(loaded);
      return std::holds_alternative<std::vector<zu::Message>>(loaded);
    });
  });
  count_records(state, bench.record.size(), false);
}

void load_bare(benchmark::State& state, Bench& bench) {
  in_new_directory(state, bench, "read", [&](const std::string& path) {
    {
      const Descriptor directory = open_directory(path);
      if (!directory || !bare_publish(directory.get(), bench.record, ".pending", "record"))
        state.SkipWithError("bare publish failed");
    }
    const Mac expected = hmac(bench.mac_key, bench.record);
    repeat(state, "bare read failed", [&] {
      const std::optional<std::string> bytes = read_whole(path + "/record");
      return bytes && authentic(bench.mac_key, *bytes, expected);
    });
  });
  count_records(state, bench.record.size(), false);
}

void load_sqlite(benchmark::State& state, Bench& bench) {
  in_new_directory(state, bench, "sqlite", [&](const std::string& path) {
    Database db(path + "/records.db");
    const Mac mac = hmac(bench.mac_key, bench.record);
    if (!db.ok() || !db.insert(mac, bench.record)) state.SkipWithError("sqlite insert failed");
    repeat(state, "sqlite select failed", [&] {
      const std::optional<std::string> bytes = db.select(mac);
      return bytes && authentic(bench.mac_key, *bytes, mac);
    });
  });
  count_records(state, bench.record.size(), false);
}

// filled_store returns the store of `records` small records, made on first use and kept
// for the later runs of the same size; nullptr when it cannot be made.
Store* filled_store(Bench& bench, std::int64_t records) {
  if (const auto found = bench.filled.find(records); found != bench.filled.end())
    return &found->second;
  std::optional<Store> store = provision(bench.scratch);
  if (!store) return nullptr;
  std::vector<zu::Message> small = conversation(1, 1024);
  for (std::int64_t i = 0; i < records; ++i) {
    stamp(first_text(small), ++bench.saves);
    if (!std::holds_alternative<std::string>(store->archive->save(small, kScope))) {
      discard(*store);
      return nullptr;
    }
  }
  return &bench.filled.emplace(records, std::move(*store)).first->second;
}

void save_into_store(benchmark::State& state, Bench& bench) {
  Store* store = filled_store(bench, state.range(0));
  const Descriptor directory = store ? open_directory(store->path) : Descriptor(-1);
  if (!directory) {
    state.SkipWithError("the filled store could not be made");
    return;
  }
  std::vector<zu::Message> messages = bench.messages;
  repeat(state, "save refused, or its record could not be removed", [&] {
    stamp(first_text(messages), ++bench.saves);
    const auto key = store->archive->save(messages, kScope);
    state.PauseTiming();
    const auto* saved = std::get_if<std::string>(&key);
    const bool removed = saved != nullptr &&
                         ::unlink(record_path(*store, *saved).c_str()) == 0 &&
                         ::fsync(directory.get()) == 0;
    state.ResumeTiming();
    return removed;
  });
  count_records(state, bench.record.size(), false);
  state.counters["store_entries"] = static_cast<double>(state.range(0));
}

// ---------------------------------------------------------------------------------------
// System-call counts

// manages_memory returns whether system call `number` only manages the process's memory.
bool manages_memory(long number) {
  return number == SYS_mmap || number == SYS_munmap || number == SYS_brk ||
         number == SYS_mremap || number == SYS_madvise || number == SYS_mprotect;
}

// stop_in_child stops the calling child so that its tracer sees where an operation
// begins and ends. raise blocks every signal, sends SIGSTOP and unblocks again; the stop
// comes as the mask is restored, so every stop costs the same calls.
void stop_in_child() { ::raise(SIGSTOP); }

// child_calls runs `operation` and then `cleanup` in a forked child and returns how many
// system calls other than memory management `operation` made, counted by tracing the
// child between two stops; or the reason it could not count. The count includes the
// calls of the second stop, which calibrate() measures on its own. The child ends with
// _exit, so nothing of this process (the scratch directory above all) is torn down
// twice.
std::variant<std::uint64_t, std::string> child_calls(const std::function<void()>& operation,
                                                     const std::function<void()>& cleanup) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return system_error("fork");
  if (child == 0) {
    if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(2);
    stop_in_child();
    operation();
    stop_in_child();
    cleanup();
    ::_exit(0);
  }
  const auto wait_stop = [&](int& status) {
    return ::waitpid(child, &status, 0) == child && WIFSTOPPED(status);
  };
  const auto fail = [&](const std::string& why) -> std::variant<std::uint64_t, std::string> {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return why;
  };
  int status = 0;
  if (!wait_stop(status) || WSTOPSIG(status) != SIGSTOP) return fail("the child did not stop");
  if (::ptrace(PTRACE_SETOPTIONS, child, nullptr,
               reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL)) != 0)
    return fail(system_error("ptrace"));
  std::uint64_t calls = 0;
  for (;;) {
    if (::ptrace(PTRACE_SYSCALL, child, nullptr, nullptr) != 0 || !wait_stop(status))
      return fail(system_error("ptrace"));
    if (WSTOPSIG(status) == SIGSTOP) break;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) return fail("the child stopped on a signal");
    __ptrace_syscall_info info{};
    if (::ptrace(PTRACE_GET_SYSCALL_INFO, child, reinterpret_cast<void*>(sizeof info), &info) <= 0)
      return fail(system_error("ptrace"));
    if (info.op == PTRACE_SYSCALL_INFO_ENTRY && !manages_memory(static_cast<long>(info.entry.nr)))
      ++calls;
  }
  if (::ptrace(PTRACE_DETACH, child, nullptr, nullptr) != 0) return fail(system_error("ptrace"));
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "the child failed to clean up";
  return calls;
}

// Counts are the system calls of one operation each, or the reason there are none.
// Calls are the system calls of one operation each.
struct Calls {
  std::uint64_t save = 0;
  std::uint64_t load = 0;
  std::uint64_t into_few = 0;
  std::uint64_t into_many = 0;
};

// Counts holds the calls twice: made by archives just opened on files just made, which
// read every access list, and made once the files have settled and an archive has seen
// them, when it reads the lists only of what changed since; or the reason there are
// none.
struct Counts {
  Calls fresh;
  Calls settled;
  std::string failure;
};

constexpr std::int64_t kFewRecords = 10;
constexpr std::int64_t kManyRecords = 100;

// counted_save counts a save of a new record into `store`, which the child removes again.
std::variant<std::uint64_t, std::string> counted_save(Bench& bench, const Store& store) {
  std::vector<zu::Message> messages = bench.messages;
  stamp(first_text(messages), ++bench.saves);
  std::optional<std::string> path;
  auto calls = child_calls(
      [&] {
        const auto key = store.archive->save(messages, kScope);
        if (const auto* saved = std::get_if<std::string>(&key)) path = record_path(store, *saved);
      },
      [&] {
        if (!path || ::unlink(path->c_str()) != 0) ::_exit(3);
      });
  return calls;
}

// count_round counts the calls of a load and of saves into `store` (empty), `few` and
// `many` into `calls`, leaving every store as it was.
void count_round(Bench& bench, Store& store, Store& few, Store& many, Calls& calls,
                 const std::function<void(std::variant<std::uint64_t, std::string>,
                                          std::uint64_t&)>& take,
                 std::string& failure) {
  std::vector<zu::Message> messages = bench.messages;
  stamp(first_text(messages), ++bench.saves);
  // Saved and loaded once outside the count, so the count finds everything as a repeated
  // load does.
  const std::optional<std::string> key = saved_and_checked(store, messages);
  if (!key) {
    failure = "load does not give back what was saved";
  } else {
    take(child_calls([&] { static_cast<void>(store.archive->load(*key, kScope)); }, [] {}),
         calls.load);
    if (::unlink(record_path(store, *key).c_str()) != 0) failure = system_error("unlink");
  }
  take(counted_save(bench, store), calls.save);
  take(counted_save(bench, few), calls.into_few);
  take(counted_save(bench, many), calls.into_many);
}

// count_calls counts the system calls of the operations the ratios are about.
Counts count_calls(Bench& bench) {
  Counts counts;
  // The calls of the stop that ends every count, counted around an empty operation.
  const auto empty = child_calls([] {}, [] {});
  if (const auto* why = std::get_if<std::string>(&empty)) {
    counts.failure = *why;
    return counts;
  }
  const std::uint64_t overhead = std::get<std::uint64_t>(empty);
  const auto take = [&](std::variant<std::uint64_t, std::string> calls, std::uint64_t& into) {
    if (const auto* why = std::get_if<std::string>(&calls)) {
      if (counts.failure.empty()) counts.failure = *why;
    } else {
      into = std::get<std::uint64_t>(calls) - std::min(std::get<std::uint64_t>(calls), overhead);
    }
  };
  std::optional<Store> store = provision(bench.scratch);
  Store* few = filled_store(bench, kFewRecords);
  Store* many = filled_store(bench, kManyRecords);
  if (!store || few == nullptr || many == nullptr || !reopen(*few) || !reopen(*many)) {
    counts.failure = "a store could not be made or opened again";
    if (store) discard(*store);
    return counts;
  }
  count_round(bench, *store, *few, *many, counts.fresh, take, counts.failure);
  // An archive trusts an access list as read only once its object's change time is a
  // quarter of a second old; one save after that lets each archive read them all.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::vector<zu::Message> messages = bench.messages;
  for (Store* filled : {&*store, few, many}) {
    stamp(first_text(messages), ++bench.saves);
    const auto warm = filled->archive->save(messages, kScope);
    const auto* saved = std::get_if<std::string>(&warm);
    if (saved == nullptr || ::unlink(record_path(*filled, *saved).c_str()) != 0)
      counts.failure = "a store took no more records";
  }
  count_round(bench, *store, *few, *many, counts.settled, take, counts.failure);
  discard(*store);
  return counts;
}

// ---------------------------------------------------------------------------------------
// The summary

// Summary passes every run on to the console and keeps each benchmark's real time per
// operation, so that the ratios can be printed once all have run.
class Summary : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so a report piped to a file stays plain text.
  Summary() : ConsoleReporter(::isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations <= 0) continue;
      const std::string name = run.run_name.function_name +
                               (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
      const double seconds =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      if (run.run_type == Run::RT_Iteration) {
        repetitions_[name].push_back(seconds);
      } else if (run.aggregate_name == "median") {
        // Only aggregates reach the reporter under --benchmark_report_aggregates_only.
        aggregate_medians_[name] = seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // median returns the median over the repetitions of `name`'s seconds per operation.
  std::optional<double> median(const std::string& name) const {
    if (const auto found = repetitions_.find(name); found != repetitions_.end()) {
      std::vector<double> times = found->second;
      std::sort(times.begin(), times.end());
      const std::size_t middle = times.size() / 2;
      return times.size() % 2 == 1 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    }
    if (const auto found = aggregate_medians_.find(name); found != aggregate_medians_.end())
      return found->second;
    return std::nullopt;
  }

  // print_ratio prints `what`, numerator / denominator, and, when `target` is not 0,
  // whether the ratio stays within it. Benchmarks filtered out leave their line out.
  void print_ratio(const char* what, const std::string& numerator,
                   const std::string& denominator, double target) const {
    const std::optional<double> top = median(numerator);
    const std::optional<double> bottom = median(denominator);
    if (!top || !bottom || *bottom <= 0) return;
    const double ratio = *top / *bottom;
    std::printf("  %-34s %9.3f ms / %9.3f ms = %6.2f", what, *top * 1e3, *bottom * 1e3, ratio);
    if (target > 0) std::printf("   target <= %.1f: %s", target, ratio <= target ? "met" : "MISSED");
    std::printf("\n");
  }

 private:
  std::map<std::string, std::vector<double>> repetitions_;
  std::map<std::string, double> aggregate_medians_;
};

void print_summary(const Summary& summary, const std::string& directory) {
  std::printf("\nRatios of median real time per operation, all on %s (%s):\n", directory.c_str(),
              file_system_name(directory).c_str());
  summary.print_ratio("save: archive / bare publish", "save/archive", "save/bare_publish", 1.5);
  summary.print_ratio("save: archive / sqlite", "save/archive", "save/sqlite", 1.0);
  summary.print_ratio("load: archive / bare read + HMAC", "load/archive", "load/bare_read", 2.0);
  summary.print_ratio("save into 1000 records / into 10", "save_into_store/archive/1000",
                      "save_into_store/archive/10", 4.0);
  summary.print_ratio("load: archive / sqlite", "load/archive", "load/sqlite", 0);
  summary.print_ratio("save: sqlite / bare publish", "save/sqlite", "save/bare_publish", 0);
  summary.print_ratio("load: sqlite / bare read + HMAC", "load/sqlite", "load/bare_read", 0);
  summary.print_ratio("save into 100 records / into 10", "save_into_store/archive/100",
                      "save_into_store/archive/10", 0);
  const std::optional<double> few = summary.median("save_into_store/archive/10");
  const std::optional<double> many = summary.median("save_into_store/archive/1000");
  if (few && many)
    std::printf("  save cost of each record already stored: %.2f us\n", (*many - *few) / 990 * 1e6);
  std::fflush(stdout);
}

// print_counts prints the system-call counts, or why there are none; false in that case.
bool print_counts(const Counts& counts) {
  if (!counts.failure.empty()) {
    std::fprintf(stderr, "archive_bench: system calls not counted: %s\n", counts.failure.c_str());
    return false;
  }
  const auto row = [](const char* what, std::uint64_t fresh, std::uint64_t settled) {
    std::printf("  %-32s %8llu %10llu\n", what, static_cast<unsigned long long>(fresh),
                static_cast<unsigned long long>(settled));
  };
  const auto per_entry = [](const Calls& calls) {
    return (static_cast<double>(calls.into_many) - static_cast<double>(calls.into_few)) /
           static_cast<double>(kManyRecords - kFewRecords);
  };
  const std::string few = "save into " + std::to_string(kFewRecords) + " records";
  const std::string many = "save into " + std::to_string(kManyRecords) + " records";
  std::printf("\nSystem calls per operation (memory management left out):\n");
  std::printf("  %-32s %8s %10s\n", "", "fresh", "settled");
  row("save into an empty store", counts.fresh.save, counts.settled.save);
  row("load", counts.fresh.load, counts.settled.load);
  row(few.c_str(), counts.fresh.into_few, counts.settled.into_few);
  row(many.c_str(), counts.fresh.into_many, counts.settled.into_many);
  std::printf("  %-32s %8.2f %10.2f\n", "per stored entry (capacity scan)",
              per_entry(counts.fresh), per_entry(counts.settled));
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    Bench bench;
    benchmark::AddCustomContext("scratch directory", bench.scratch.path());
    benchmark::AddCustomContext("file system", file_system_name(bench.scratch.path()));
    benchmark::AddCustomContext("record bytes", std::to_string(bench.record.size()));
    benchmark::AddCustomContext("load average at start", load_average());

    using Body = void (*)(benchmark::State&, Bench&);
    const std::pair<const char*, Body> kPlain[] = {
        {"save/archive", save_archive}, {"save/bare_publish", save_bare},
        {"save/sqlite", save_sqlite},   {"load/archive", load_archive},
        {"load/bare_read", load_bare},  {"load/sqlite", load_sqlite}};
    for (const auto& [name, body] : kPlain) {
      benchmark::RegisterBenchmark(name, [&bench, body = body](benchmark::State& state) {
        body(state, bench);
      })->UseRealTime()->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("save_into_store/archive",
                                 [&bench](benchmark::State& state) { save_into_store(state, bench); })
        ->Arg(10)
        ->Arg(100)
        ->Arg(1000)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);

    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    print_summary(summary, bench.scratch.path());
    std::printf("  load average at the end: %s\n", load_average().c_str());
    if (!print_counts(count_calls(bench))) {
      benchmark::Shutdown();
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "archive_bench: %s\n", error.what());
    benchmark::Shutdown();
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
