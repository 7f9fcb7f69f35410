#pragma once
// The development CA and the server certificate of the local service. Both
// are made on first use with OpenSSL and kept in one directory, so that the
// client build can trust the CA file (ca.pem) for good.

#include <string>

namespace devservice {

struct DevCerts
{
    std::string caFile;     // ca.pem: what the client trusts
    std::string serverCert; // server.pem: for localhost and 127.0.0.1, signed by the CA
    std::string serverKey;  // server-key.pem (mode 0600)
};

// Makes the directory, the CA (when missing, expiring within a day, or lacking
// its limits: name constraints to localhost, 127.0.0.0/8 and ::1, and a path
// length of 0) and the server certificate (when missing, expiring within a
// day, or not issued by the present CA). Safe to run from several processes
// at once. Throws std::runtime_error on failure.
DevCerts ensureDevCerts(const std::string& directory);

} // namespace devservice
