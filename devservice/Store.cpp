#include "Store.h"

#include "DemoMeetings.h"
#include "Text.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <random>
#include <stdexcept>

namespace devservice {
namespace {

// The demo accounts everyone relies on (README, tests).
const Account kDemoAccounts[] = {
    {0, "demo", "talvora123", "zhangsan", "zhangsan@example.com", "Zs-Meet-2024", "ZC10001",
     "a1b2c3d4e5f6g7h8", "张三"},
    {0, "demo2", "talvora123", "lisi", "", "LiSi-Password-16", "ZC10002", "tok-lisi-9f8e7d6c", ""},
    // The reminder test's own: it replaces this account's meetings.
    {0, "demo3", "talvora123", "wangwu", "wangwu@example.com", "Ww-Meet-2024", "ZC10003",
     "tok-wangwu-5e6f7a8b", "王五"},
};

const char* const kSchema[] = {
    "PRAGMA foreign_keys = ON",
    "CREATE TABLE IF NOT EXISTS accounts ("
    " id INTEGER PRIMARY KEY,"
    " cloud_account TEXT NOT NULL UNIQUE,"
    " cloud_password TEXT NOT NULL,"
    " user_name TEXT NOT NULL UNIQUE,"
    " email TEXT NOT NULL DEFAULT '',"
    " password TEXT NOT NULL,"
    " zcode TEXT NOT NULL UNIQUE,"
    " token TEXT NOT NULL,"
    " display_name TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE IF NOT EXISTS meetings ("
    " id TEXT PRIMARY KEY,"
    " uuid TEXT NOT NULL UNIQUE,"
    " zcode TEXT NOT NULL REFERENCES accounts(zcode),"
    " topic TEXT NOT NULL,"
    " start_time TEXT NOT NULL,"
    " duration INTEGER NOT NULL,"
    " no_video_host INTEGER NOT NULL,"
    " no_video_participants INTEGER NOT NULL,"
    " type INTEGER NOT NULL,"
    " created_at TEXT NOT NULL,"
    " instant INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS meetings_by_owner ON meetings(zcode, instant, start_time)",
};

const char* const kAccountColumns =
    "id, cloud_account, cloud_password, user_name, email, password, zcode, token, display_name";
const char* const kMeetingColumns = "id, uuid, zcode, topic, start_time, duration, no_video_host, "
                                    "no_video_participants, type, created_at, instant";

[[noreturn]] void fail(sqlite3* db, const std::string& what)
{
    throw std::runtime_error("database: " + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

// One prepared statement, finalised on scope exit. Values are only ever
// bound, never pasted into SQL text.
class Statement
{
public:
    Statement(sqlite3* db, const std::string& sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_statement, nullptr) != SQLITE_OK)
            fail(db, "prepare");
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& text)
    {
        check(
            sqlite3_bind_text64(m_statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
        return *this;
    }
    Statement& bind(int index, int64_t value)
    {
        check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or SQLITE_CONSTRAINT; anything else throws.
    int step()
    {
        const int result = sqlite3_step(m_statement);
        if (result != SQLITE_ROW && result != SQLITE_DONE && (result & 0xFF) != SQLITE_CONSTRAINT)
            fail(m_db, "step");
        return result & 0xFF;
    }
    std::string text(int column) const
    {
        const unsigned char* value = sqlite3_column_text(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        return value ? std::string(reinterpret_cast<const char*>(value), static_cast<size_t>(size))
                     : std::string();
    }
    int64_t integer(int column) const { return sqlite3_column_int64(m_statement, column); }

private:
    void check(int result)
    {
        if (result != SQLITE_OK)
            fail(m_db, "bind");
    }

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

Account accountFrom(const Statement& row)
{
    Account account;
    account.id = row.integer(0);
    account.cloudAccount = row.text(1);
    account.cloudPassword = row.text(2);
    account.userName = row.text(3);
    account.email = row.text(4);
    account.password = row.text(5);
    account.zcode = row.text(6);
    account.token = row.text(7);
    account.displayName = row.text(8);
    return account;
}

Meeting meetingFrom(const Statement& row)
{
    Meeting meeting;
    meeting.id = row.text(0);
    meeting.uuid = row.text(1);
    meeting.zcode = row.text(2);
    meeting.topic = row.text(3);
    meeting.startTime = row.text(4);
    meeting.duration = static_cast<int>(row.integer(5));
    meeting.noVideoHost = row.integer(6) != 0;
    meeting.noVideoParticipants = row.integer(7) != 0;
    meeting.type = static_cast<int>(row.integer(8));
    meeting.createdAt = row.text(9);
    meeting.instant = row.integer(10) != 0;
    return meeting;
}

std::optional<Account> oneAccount(Statement& statement)
{
    if (statement.step() == SQLITE_ROW)
        return accountFrom(statement);
    return std::nullopt;
}

std::mt19937_64& randomEngine()
{
    static std::mt19937_64 engine{std::random_device{}()};
    return engine;
}

// Eleven digits, the shape of a conferencing meeting number.
std::string newMeetingId()
{
    std::uniform_int_distribution<uint64_t> digits(0, 999999999);
    std::string tail = std::to_string(digits(randomEngine()));
    return "85" + std::string(9 - tail.size(), '0') + tail;
}

std::string newUuid()
{
    static const char kHex[] = "0123456789abcdef";
    std::uniform_int_distribution<int> nibble(0, 15);
    std::string uuid;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20)
            uuid += '-';
        int value = nibble(randomEngine());
        if (i == 12)
            value = 4;
        else if (i == 16)
            value = 8 | (value & 3);
        uuid += kHex[value];
    }
    return uuid;
}

// The file holds passwords and tokens: it is made readable by its owner
// only before SQLite opens it (SQLite would create it 0644 less the umask,
// and gives its journal the file's mode). A file that already exists is
// brought down to that mode as well.
void keepPrivate(const std::string& path)
{
    if (path.empty() || path.front() == ':') // SQLite's own names (":memory:") are no files
        return;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return; // SQLite reports why the file cannot be used
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 0077) != 0)
        ::fchmod(fd, 0600);
    ::close(fd);
}

} // namespace

Store::Store(const std::string& path, bool seedDemoMeetings)
{
    keepPrivate(path);
    if (sqlite3_open_v2(path.c_str(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        throw std::runtime_error("database: cannot open " + path + ": " + message);
    }
    try {
        sqlite3_busy_timeout(m_db, 5000);
        for (const char* sql : kSchema)
            Statement(m_db, sql).step();
        // The accounts and their meetings appear together or not at all.
        Statement(m_db, "BEGIN IMMEDIATE").step();
        for (const Account& demo : kDemoAccounts) {
            Statement insert(m_db, std::string("INSERT OR IGNORE INTO accounts (") + kAccountColumns +
                                       ") VALUES (NULL, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
            insert.bind(1, demo.cloudAccount)
                .bind(2, demo.cloudPassword)
                .bind(3, demo.userName)
                .bind(4, demo.email)
                .bind(5, demo.password)
                .bind(6, demo.zcode)
                .bind(7, demo.token)
                .bind(8, demo.displayName);
            insert.step();
            // Only a new file gets them: a store in use keeps what its users left.
            if (seedDemoMeetings && sqlite3_changes(m_db) > 0 && demo.cloudAccount == "demo")
                for (const Meeting& meeting : demoMeetings(demo.zcode, std::time(nullptr)))
                    createMeeting(meeting);
        }
        Statement(m_db, "COMMIT").step();
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

Store::~Store()
{
    sqlite3_close(m_db);
}

std::optional<Account> Store::accountByCloudLogin(const std::string& cloudAccount) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db,
                    std::string("SELECT ") + kAccountColumns + " FROM accounts WHERE cloud_account = ?1");
    query.bind(1, cloudAccount);
    return oneAccount(query);
}

std::optional<Account> Store::accountByZcode(const std::string& zcode) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db, std::string("SELECT ") + kAccountColumns + " FROM accounts WHERE zcode = ?1");
    query.bind(1, zcode);
    return oneAccount(query);
}

std::optional<Account> Store::accountBySdkLogin(const std::string& login) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db, std::string("SELECT ") + kAccountColumns +
                              " FROM accounts WHERE (email <> '' AND lower(email) = lower(?1))"
                              " OR user_name || ?2 = ?1 ORDER BY id LIMIT 1");
    query.bind(1, login).bind(2, std::string(TALVORA_EMAIL_SUFFIX));
    return oneAccount(query);
}

bool Store::setDisplayName(const std::string& zcode, const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement update(m_db, "UPDATE accounts SET display_name = ?1 WHERE zcode = ?2");
    update.bind(1, name).bind(2, zcode);
    update.step();
    return sqlite3_changes(m_db) > 0;
}

Meeting Store::createMeeting(Meeting meeting)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (meeting.createdAt.empty())
        meeting.createdAt = utcNow();
    // A new random number collides with an existing one only rarely; try again.
    for (int attempt = 0; attempt < 32; ++attempt) {
        meeting.id = newMeetingId();
        meeting.uuid = newUuid();
        Statement insert(m_db, std::string("INSERT INTO meetings (") + kMeetingColumns +
                                   ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
        insert.bind(1, meeting.id)
            .bind(2, meeting.uuid)
            .bind(3, meeting.zcode)
            .bind(4, meeting.topic)
            .bind(5, meeting.startTime)
            .bind(6, static_cast<int64_t>(meeting.duration))
            .bind(7, static_cast<int64_t>(meeting.noVideoHost))
            .bind(8, static_cast<int64_t>(meeting.noVideoParticipants))
            .bind(9, static_cast<int64_t>(meeting.type))
            .bind(10, meeting.createdAt)
            .bind(11, static_cast<int64_t>(meeting.instant));
        if (insert.step() == SQLITE_DONE)
            return meeting;
        // An owner that does not exist is a constraint failure too; retrying cannot help.
        Statement owner(m_db, "SELECT 1 FROM accounts WHERE zcode = ?1");
        owner.bind(1, meeting.zcode);
        if (owner.step() != SQLITE_ROW)
            throw std::runtime_error("database: no account " + meeting.zcode);
    }
    throw std::runtime_error("database: no free meeting id");
}

bool Store::updateMeeting(const Meeting& meeting)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement update(m_db,
                     "UPDATE meetings SET topic = ?1, start_time = ?2, duration = ?3, no_video_host = ?4,"
                     " no_video_participants = ?5, type = ?6 WHERE id = ?7 AND zcode = ?8");
    update.bind(1, meeting.topic)
        .bind(2, meeting.startTime)
        .bind(3, static_cast<int64_t>(meeting.duration))
        .bind(4, static_cast<int64_t>(meeting.noVideoHost))
        .bind(5, static_cast<int64_t>(meeting.noVideoParticipants))
        .bind(6, static_cast<int64_t>(meeting.type))
        .bind(7, meeting.id)
        .bind(8, meeting.zcode);
    update.step();
    return sqlite3_changes(m_db) > 0;
}

bool Store::deleteMeeting(const std::string& zcode, const std::string& id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement erase(m_db, "DELETE FROM meetings WHERE id = ?1 AND zcode = ?2");
    erase.bind(1, id).bind(2, zcode);
    erase.step();
    return sqlite3_changes(m_db) > 0;
}

std::optional<Meeting> Store::meetingById(const std::string& id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db, std::string("SELECT ") + kMeetingColumns + " FROM meetings WHERE id = ?1");
    query.bind(1, id);
    if (query.step() == SQLITE_ROW)
        return meetingFrom(query);
    return std::nullopt;
}

std::vector<Meeting> Store::meetingsOf(const std::string& zcode) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(
        m_db, std::string("SELECT ") + kMeetingColumns +
                  " FROM meetings WHERE zcode = ?1 AND instant = 0 ORDER BY start_time, created_at, id");
    query.bind(1, zcode);
    std::vector<Meeting> meetings;
    while (query.step() == SQLITE_ROW)
        meetings.push_back(meetingFrom(query));
    return meetings;
}

} // namespace devservice
