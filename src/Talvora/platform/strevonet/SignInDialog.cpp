#include "SignInDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <openssl/crypto.h>

#include <algorithm>

namespace talvora::strevonet {
namespace {

const char* const kStyleSheet = R"(
QDialog#SignInDialog { background: #ffffff; }
QLabel { color: #333333; font-size: 14px; }
QLabel#m_pLabMessage { color: #e8443a; font-size: 13px; }
QLineEdit { border: 1px solid #d9d9d9; border-radius: 4px; padding: 6px 8px; font-size: 14px; }
QLineEdit:focus { border-color: #2f80ed; }
QPushButton { min-width: 88px; min-height: 32px; border-radius: 4px; font-size: 14px; }
QPushButton#m_pBtnLogin { background: #2f80ed; color: #ffffff; border: none; }
QPushButton#m_pBtnLogin:disabled { background: #9bbff2; }
QPushButton#m_pBtnCancel { background: #ffffff; color: #333333; border: 1px solid #d9d9d9; }
)";

} // namespace

SignInDialog::SignInDialog(std::string authUrl, std::string appKey, QWidget* parent)
    : QDialog(parent), m_strAuthUrl(std::move(authUrl)), m_strAppKey(std::move(appKey))
{
    setObjectName(QStringLiteral("SignInDialog"));
    setWindowTitle(QString::fromUtf8("Talvora 登录"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);
    setStyleSheet(QString::fromUtf8(kStyleSheet));

    m_pLnEtAccount = new QLineEdit(this);
    m_pLnEtAccount->setObjectName(QStringLiteral("m_pLnEtAccount"));
    m_pLnEtPassword = new QLineEdit(this);
    m_pLnEtPassword->setObjectName(QStringLiteral("m_pLnEtPassword"));
    m_pLnEtPassword->setEchoMode(QLineEdit::Password);

    m_pLabMessage = new QLabel(this);
    m_pLabMessage->setObjectName(QStringLiteral("m_pLabMessage"));
    m_pLabMessage->setTextFormat(Qt::PlainText);
    m_pLabMessage->hide();

    m_pBtnLogin = new QPushButton(QString::fromUtf8("登录"), this);
    m_pBtnLogin->setObjectName(QStringLiteral("m_pBtnLogin"));
    m_pBtnLogin->setDefault(true);
    m_pBtnCancel = new QPushButton(QString::fromUtf8("取消"), this);
    m_pBtnCancel->setObjectName(QStringLiteral("m_pBtnCancel"));
    m_pBtnCancel->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(12);
    form->addRow(QString::fromUtf8("账号"), m_pLnEtAccount);
    form->addRow(QString::fromUtf8("密码"), m_pLnEtPassword);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pBtnLogin);
    buttons->addWidget(m_pBtnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 24);
    layout->setSpacing(14);
    layout->addLayout(form);
    layout->addWidget(m_pLabMessage);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    setTabOrder(m_pLnEtAccount, m_pLnEtPassword);
    setTabOrder(m_pLnEtPassword, m_pBtnLogin);
    setTabOrder(m_pBtnLogin, m_pBtnCancel);
    m_pLnEtAccount->setFocus();

    connect(m_pBtnLogin, &QPushButton::clicked, this, &SignInDialog::onLogin);
    connect(m_pBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

SignInDialog::~SignInDialog()
{
    // The worker posts its answer to this object; it must be done before the
    // object goes (pending posted events die with the object). A cancelled
    // dialog does not wait for the answer it no longer wants.
    m_abort.abort();
    if (m_worker.joinable())
        m_worker.join();
    // The token has been handed out; this copy goes.
    OPENSSL_cleanse(m_strAccessToken.data(), m_strAccessToken.capacity());
}

void SignInDialog::onLogin()
{
    if (!m_pBtnLogin->isEnabled())
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_pBtnLogin->setEnabled(false);
    showMessage(QString::fromUtf8("正在登录…"));

    // The field lets go of the password, and of the undo history that
    // would bring it back; the text it held is overwritten once this copy is
    // the last one.
    QString typed = m_pLnEtPassword->text();
    m_pLnEtPassword->setText(QString());
    QByteArray utf8 = typed.toUtf8();
    OPENSSL_cleanse(typed.data(), static_cast<size_t>(typed.size()) * sizeof(QChar));
    // On the heap even when short: moving a string kept in place would
    // leave its characters behind in the moved-from object.
    std::string password;
    password.reserve(std::max<size_t>(static_cast<size_t>(utf8.size()), 16));
    password.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
    OPENSSL_cleanse(utf8.data(), static_cast<size_t>(utf8.size()));

    m_worker = std::thread([this, authUrl = m_strAuthUrl, appKey = m_strAppKey,
                            account = m_pLnEtAccount->text().toStdString(),
                            password = std::move(password)]() mutable {
        const TokenResult result = requestToken(authUrl, appKey, account, password, &m_abort);
        OPENSSL_cleanse(password.data(), password.capacity());
        QMetaObject::invokeMethod(
            this, [this, result] { onTokenAnswer(result); }, Qt::QueuedConnection);
    });
}

void SignInDialog::onTokenAnswer(const TokenResult& result)
{
    m_pBtnLogin->setEnabled(true);
    switch (result.outcome) {
    case TokenResult::Outcome::Granted:
        m_strAccessToken = result.accessToken;
        m_pLabMessage->hide();
        accept();
        return;
    case TokenResult::Outcome::Rejected:
        showMessage(QString::fromUtf8("账号或密码错误"));
        m_pLnEtPassword->selectAll();
        m_pLnEtPassword->setFocus();
        return;
    case TokenResult::Outcome::Unreachable:
        showMessage(QString::fromUtf8("无法连接登录服务器"));
        return;
    case TokenResult::Outcome::BadAnswer:
        showMessage(QString::fromUtf8("登录服务器应答异常"));
        return;
    }
}

void SignInDialog::showMessage(const QString& text)
{
    m_pLabMessage->setText(text);
    m_pLabMessage->show();
}

} // namespace talvora::strevonet
