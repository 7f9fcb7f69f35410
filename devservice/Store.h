#pragma once
// SQLite storage of the development service: the demo accounts and the
// meetings. Every statement is prepared; one mutex serialises the connection
// because the HTTP server calls handlers from its worker threads.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace devservice {

struct Account
{
    int64_t id = 0;
    std::string cloudAccount;  // name typed into the cloud sign-in dialog
    std::string cloudPassword; // password of the cloud sign-in dialog
    std::string userName;      // "userName" of the cloud account query
    std::string email;         // empty: the account has none ("email" absent)
    std::string password;      // plain conferencing password (the SDK login's)
    std::string zcode;
    std::string token;       // "token" of the cloud account query, at least 8 characters
    std::string displayName; // "username" of /v3/user/get; empty until first set
};

struct Meeting
{
    std::string id; // numeric text such as "85012345678"
    std::string uuid;
    std::string zcode; // owner
    std::string topic;
    std::string startTime; // UTC, "YYYY-MM-DDTHH:MM:SSZ"
    int duration = 0;      // minutes
    bool noVideoHost = false;
    bool noVideoParticipants = false;
    int type = 2;
    std::string createdAt; // UTC, "YYYY-MM-DDTHH:MM:SSZ"
    bool instant = false;  // started through the SDK rather than booked
};

class Store
{
public:
    // Opens (or creates) the database file and seeds the demo accounts when
    // the file is new, with the demo account's meetings (DemoMeetings.h) when
    // seedDemoMeetings. Throws std::runtime_error when the file cannot be used.
    explicit Store(const std::string& path, bool seedDemoMeetings = false);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    std::optional<Account> accountByCloudLogin(const std::string& cloudAccount) const;
    std::optional<Account> accountByZcode(const std::string& zcode) const;
    // The SDK login name: the account's e-mail, or its user name followed by
    // the e-mail suffix.
    std::optional<Account> accountBySdkLogin(const std::string& login) const;
    bool setDisplayName(const std::string& zcode, const std::string& name);

    // Inserts the meeting under a new unique id (and uuid) and returns it.
    Meeting createMeeting(Meeting meeting);
    bool updateMeeting(const Meeting& meeting); // false: no such meeting of that zcode
    bool deleteMeeting(const std::string& zcode, const std::string& id);
    std::optional<Meeting> meetingById(const std::string& id) const;
    // Booked meetings of one account, in order of start time.
    std::vector<Meeting> meetingsOf(const std::string& zcode) const;

private:
    mutable std::mutex m_mutex; // guards m_db: handlers run on several threads
    sqlite3* m_db = nullptr;
};

} // namespace devservice
