#pragma once
// Shared set-up of the SDK session tests: the SDK and network doubles reset,
// both kinds of box recorded instead of shown, a main window built over an
// empty meeting list, and standard output captured.

#include "Talvora.h"

#include <QString>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

class QWidget;

struct ErrorBoxRecord
{
    QWidget* parent;
    QString title;
    QString text;
};

struct SystemBoxRecord
{
    std::wstring title;
    std::wstring text;
};

class SessionHarness
{
public:
    SessionHarness();
    ~SessionHarness();

    SessionHarness(const SessionHarness&) = delete;
    SessionHarness& operator=(const SessionHarness&) = delete;

    // A shown main window for the account zhangsan, whose constructor's
    // meeting-list query found no meetings. Its watcher, once started, always
    // finds an address.
    std::unique_ptr<Talvora> makeWindow();

    // Answers the next user query (after a login success) with this name.
    static void queueUserAnswer(const char* utf8Name);

    // startSdkSession with the demo account, then the authorisation success.
    static bool startAndAuthorise(Talvora& window);
    // The login success, with the user query answered.
    static bool logIn();
    // Both of the above.
    static bool signIn(Talvora& window);

    std::vector<ErrorBoxRecord> errorBoxes;
    std::vector<SystemBoxRecord> systemBoxes;
};

// Redirects std::cout while it lives.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    std::string text() const { return m_buffer.str(); }

private:
    std::ostringstream m_buffer;
    std::streambuf* m_previous;
};

// Position of name in the double's call list, or -1.
int callIndex(const std::vector<std::string>& calls, const std::string& name);
