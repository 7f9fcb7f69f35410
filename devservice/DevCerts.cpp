#include "DevCerts.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace devservice {
namespace {

constexpr long kCaValidityDays = 3650;
constexpr long kServerValidityDays = 825;
// Whoever trusts the CA trusts it for this machine only, whatever its key
// signs: no other name or address, and no CA below it.
constexpr const char* kCaNameConstraints =
    "critical,permitted;DNS:localhost,permitted;IP:127.0.0.0/255.0.0.0,"
    "permitted;IP:::1/ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff";

template <typename T, void (*Free)(T*)> struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BigNumPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error("development certificates: " + what);
}

void makeDirectory(const std::string& path)
{
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            partial = path.substr(0, i);
            if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
                fail("cannot create " + partial + ": " + std::strerror(errno));
        }
    }
}

// Holds an exclusive flock on DIR/.lock: a build step and a test may start the
// service at the same moment, and only one of them may write the files.
class DirectoryLock
{
public:
    explicit DirectoryLock(const std::string& directory)
    {
        const std::string path = directory + "/.lock";
        m_fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0)
            fail("cannot lock " + path + ": " + std::strerror(errno));
    }
    ~DirectoryLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
    int m_fd = -1;
};

bool exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

KeyPtr newKey()
{
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key)
        fail("cannot generate a key");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        fail("cannot build an extension");
    const int added = X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
    if (!added)
        fail("cannot add an extension");
}

CertPtr newCertificate(EVP_PKEY* key, const char* commonName, long days)
{
    CertPtr cert(X509_new());
    if (!cert || !X509_set_version(cert.get(), 2))
        fail("cannot create a certificate");
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        fail("no random serial");
    serial[0] &= 0x7F;
    BigNumPtr number(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!number || !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(cert.get())))
        fail("cannot set the serial");
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Talvora Development"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    return cert;
}

// Writes through a temporary file and a rename, so a reader never sees half a
// file.
template <typename Write> void writePem(const std::string& path, mode_t mode, Write write)
{
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0)
        fail("cannot write " + temporary + ": " + std::strerror(errno));
    FILE* file = ::fdopen(fd, "w");
    if (!file) {
        ::close(fd);
        fail("cannot write " + temporary);
    }
    const bool written = write(file);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        fail("cannot write " + path);
    }
}

void writeKey(const std::string& path, EVP_PKEY* key)
{
    writePem(path, 0600, [key](FILE* file) {
        return PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
}

void writeCertificate(const std::string& path, X509* cert)
{
    writePem(path, 0644, [cert](FILE* file) { return PEM_write_X509(file, cert) == 1; });
}

KeyPtr readKey(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return nullptr;
    KeyPtr key(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    return key;
}

CertPtr readCertificate(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return nullptr;
    CertPtr cert(PEM_read_X509(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    return cert;
}

bool validForAnotherDay(const X509* cert)
{
    time_t soon = std::time(nullptr) + 24 * 3600;
    return X509_cmp_time(X509_get0_notAfter(cert), &soon) > 0;
}

// A CA made before it was constrained is replaced, with its server
// certificate, rather than kept.
bool caUsable(X509* ca, EVP_PKEY* caKey)
{
    return X509_check_private_key(ca, caKey) == 1 && X509_check_ca(ca) == 1 && X509_get_pathlen(ca) == 0 &&
           X509_get_ext_by_NID(ca, NID_name_constraints, -1) >= 0 && validForAnotherDay(ca);
}

bool serverCertificateUsable(const std::string& certPath, const std::string& keyPath, X509* ca,
                             EVP_PKEY* caKey)
{
    CertPtr cert = readCertificate(certPath);
    KeyPtr key = readKey(keyPath);
    if (!cert || !key || X509_check_private_key(cert.get(), key.get()) != 1)
        return false;
    if (X509_verify(cert.get(), caKey) != 1 || X509_check_issued(ca, cert.get()) != X509_V_OK)
        return false;
    return validForAnotherDay(cert.get());
}

} // namespace

DevCerts ensureDevCerts(const std::string& directory)
{
    makeDirectory(directory);
    DirectoryLock lock(directory);
    DevCerts paths{directory + "/ca.pem", directory + "/server.pem", directory + "/server-key.pem"};
    const std::string caKeyPath = directory + "/ca-key.pem";

    CertPtr ca = readCertificate(paths.caFile);
    KeyPtr caKey = readKey(caKeyPath);
    if (!ca || !caKey || !caUsable(ca.get(), caKey.get())) {
        caKey = newKey();
        ca = newCertificate(caKey.get(), "Talvora Development CA", kCaValidityDays);
        X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
        addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
        addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(ca.get(), ca.get(), NID_name_constraints, kCaNameConstraints);
        addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
        if (!X509_sign(ca.get(), caKey.get(), EVP_sha256()))
            fail("cannot sign the CA");
        writeKey(caKeyPath, caKey.get());
        writeCertificate(paths.caFile, ca.get());
    }

    if (exists(paths.serverCert) && exists(paths.serverKey) &&
        serverCertificateUsable(paths.serverCert, paths.serverKey, ca.get(), caKey.get()))
        return paths;

    KeyPtr key = newKey();
    CertPtr cert = newCertificate(key.get(), "localhost", kServerValidityDays);
    X509_set_issuer_name(cert.get(), X509_get_subject_name(ca.get()));
    addExtension(cert.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
    addExtension(cert.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), ca.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    addExtension(cert.get(), ca.get(), NID_subject_key_identifier, "hash");
    addExtension(cert.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
    if (!X509_sign(cert.get(), caKey.get(), EVP_sha256()))
        fail("cannot sign the server certificate");
    writeKey(paths.serverKey, key.get());
    writeCertificate(paths.serverCert, cert.get());
    return paths;
}

} // namespace devservice
