#pragma once

// The usage store: usage.db beside the log, a SQLite file in WAL mode that holds one row per
// connection per UTC quarter hour. Opened only when it is a regular file of the user's own that
// nobody else may write, reached through no symbolic link; a store that is damaged, locked or
// not ours is refused with a message, and the program goes on without it. The open looks at the
// file's header and size only; SQLite checks each page as it reads it, and a read or write that
// meets a damaged page finds the store damaged from then on.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "usage/usage_source.h"

struct sqlite3;

namespace tavu {

// The operator's answer to the balance code, as the modem gave it (plain text), and when.
struct OperatorReply {
    std::int64_t time = 0;  // seconds since the epoch
    std::string code;       // the code sent ("*100#")
    std::string reply;
};

class UsageStore final : public UsageSource {
  public:
    // How long a write or read waits for another program's lock.
    static constexpr int kBusyMilliseconds = 200;

    // "usage.db" in the folder of the log file.
    static std::string pathFor(const std::string& logPath);

    // Opens the store; create: make it (0600) when it does not exist. Null, with error set to a
    // message for the user, when the file is refused or cannot be used.
    static std::unique_ptr<UsageStore> open(const std::string& path, bool create,
                                            std::string& error);

    ~UsageStore() override;
    UsageStore(const UsageStore&) = delete;
    UsageStore& operator=(const UsageStore&) = delete;

    UsageRows rowsBetween(std::int64_t fromUtc, std::int64_t toUtc) const override;
    std::vector<UsageRow> rowsOf(const ConnectionKey& key) const override;
    // One read of every connection's rows. When the read fails part way, problem() says so and
    // the rows handed on so far are not to be used.
    void forEachConnection(const std::function<void(const ConnectionKey&, std::vector<UsageRow>&&)>&
                               fn) const override;
    // The open database, for the tables of the sums kept beside the rows (src/ledger).
    sqlite3* database() const { return db_; }
    // Says that a read of the store met a fault; problem() gives the text.
    void setProblem(const std::string& what) const { problem_ = what; }

    // Stores rows of one connection in one transaction, each replacing the row of its quarter.
    // False, with problem() set, when the store could not take them.
    bool write(const ConnectionKey& key, const std::vector<UsageRow>& rows);

    // Keeps the operator's reply (the newest thousand are kept). False, with problem() set, when
    // it could not be stored.
    bool addOperatorReply(const OperatorReply& reply);
    // The newest reply kept; none when there is none, or it could not be read (problem() says).
    std::optional<OperatorReply> lastOperatorReply() const;

    // Why the last read or write failed, for the user; empty after one that worked. A read that
    // fails gives no rows at all, never some of them.
    const std::string& problem() const { return problem_; }
    const std::string& path() const { return path_; }

    // Whether a read or write met a damaged page. From then on every read gives nothing and
    // every write fails, problem() saying the store is damaged, as if it had been refused at the
    // open.
    bool damaged() const { return damaged_; }
    // Whether another file, or none, is at path since the store was found damaged.
    bool replaced() const;

  private:
    UsageStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    void fail(const char* what) const;
    // Sets problem() and is true when the store was found damaged.
    bool refusedAsDamaged() const;

    sqlite3* db_;
    std::string path_;
    mutable std::string problem_;
    mutable bool damaged_ = false;
    mutable std::string damagedFile_;  // the file found damaged (fileIdentity)
};

// The message for the user when the store at path is not used, with the reason.
std::string usageStoreRefused(const std::string& path, const std::string& reason);

// The store beside the log, for a command or a window that counts usage: opened once, never
// made. A count without it spreads every record evenly.
class ReadingStore {
  public:
    ReadingStore() = default;  // not opened: the count needs no store
    explicit ReadingStore(const std::string& logPath);
    // Null when there is none, or when it is refused.
    const UsageSource* get() const { return store_.get(); }
    // What the user is told once after the count: why the store was refused, else the problem
    // its reads met; empty when all went well.
    std::string problem() const;

  private:
    std::string refusal_;
    std::unique_ptr<UsageStore> store_;
};

// Merges the rows of one connection held in memory (not yet stored) into those a source gives:
// a row in memory replaces the stored row of its quarter. The monitor's cost check counts the
// connection in progress so, without writing to the store.
class PendingUsageSource final : public UsageSource {
  public:
    PendingUsageSource(const UsageSource* stored, ConnectionKey key, std::vector<UsageRow> pending)
        : stored_(stored), key_(std::move(key)), pending_(std::move(pending)) {}
    UsageRows rowsBetween(std::int64_t fromUtc, std::int64_t toUtc) const override;
    std::vector<UsageRow> rowsOf(const ConnectionKey& key) const override;

  private:
    std::vector<UsageRow> merged(std::vector<UsageRow> rows, std::int64_t fromUtc,
                                 std::int64_t toUtc) const;

    const UsageSource* stored_;  // may be null
    ConnectionKey key_;
    std::vector<UsageRow> pending_;  // in time order
};

// Where the monitor writes usage. The store of the log's folder, or a fake in the tests.
class UsageSink {
  public:
    virtual ~UsageSink() = default;
    // Stores rows of the connection (each replacing the row of its quarter) in the store beside
    // logPath. False, with problem() set, when they could not be stored.
    virtual bool write(const std::string& logPath, const ConnectionKey& key,
                       const std::vector<UsageRow>& rows) = 0;
    // The rows already stored for the connection (a connection resumed after a restart).
    virtual std::vector<UsageRow> rowsOf(const std::string& logPath, const ConnectionKey& key) = 0;
    virtual const std::string& problem() const = 0;
    // The rows stored beside logPath, to count by; null when there is no store to read.
    virtual const UsageSource* source(const std::string& logPath) {
        (void)logPath;
        return nullptr;
    }
    // Keeps the operator's reply in the store beside logPath; false, with problem() set, when
    // it could not. The newest one kept; none when there is none or no store.
    virtual bool addOperatorReply(const std::string& logPath, const OperatorReply& reply) {
        (void)logPath;
        (void)reply;
        return false;
    }
    virtual std::optional<OperatorReply> lastOperatorReply(const std::string& logPath) {
        (void)logPath;
        return std::nullopt;
    }
};

// The store beside the log, opened at its first use and again when the log moves to another
// folder or an earlier attempt failed. A store found damaged is not used, nor opened again,
// while the same file is there.
class UsageStoreSink final : public UsageSink {
  public:
    bool write(const std::string& logPath, const ConnectionKey& key,
               const std::vector<UsageRow>& rows) override;
    std::vector<UsageRow> rowsOf(const std::string& logPath, const ConnectionKey& key) override;
    const std::string& problem() const override { return problem_; }
    const UsageSource* source(const std::string& logPath) override { return storeFor(logPath); }
    bool addOperatorReply(const std::string& logPath, const OperatorReply& reply) override;
    std::optional<OperatorReply> lastOperatorReply(const std::string& logPath) override;

  private:
    UsageStore* storeFor(const std::string& logPath);
    // After a failure: the store is opened and checked again at its next use; a damaged one is
    // kept (and not used) until another file takes its place.
    void forget();

    std::unique_ptr<UsageStore> store_;
    std::string problem_;
};

}  // namespace tavu
