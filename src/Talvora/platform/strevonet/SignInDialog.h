#pragma once
// The cloud platform's sign-in dialog: account and password, sent to the
// platform's token endpoint. The request runs on a worker thread so that the
// dialog keeps painting and the user can still cancel while it is under way.

#include "TokenRequest.h"

#include <QDialog>

#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QPushButton;

namespace talvora::strevonet {

class SignInDialog : public QDialog
{
    Q_OBJECT

public:
    SignInDialog(std::string authUrl, std::string appKey, QWidget* parent = nullptr);
    // Ends a request still under way and waits for its thread.
    ~SignInDialog() override;

    // The token of an accepted dialog.
    const std::string& accessToken() const { return m_strAccessToken; }

private slots:
    void onLogin();

private:
    void onTokenAnswer(const TokenResult& result);
    void showMessage(const QString& text);

    QLineEdit* m_pLnEtAccount = nullptr;
    QLineEdit* m_pLnEtPassword = nullptr;
    QPushButton* m_pBtnLogin = nullptr;
    QPushButton* m_pBtnCancel = nullptr;
    QLabel* m_pLabMessage = nullptr;

    std::string m_strAuthUrl;
    std::string m_strAppKey;
    std::string m_strAccessToken;
    https::Abort m_abort;
    std::thread m_worker;
};

} // namespace talvora::strevonet
