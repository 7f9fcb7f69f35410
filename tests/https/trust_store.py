#!/usr/bin/env python3
"""Which CAs the HTTPS transport trusts, shown against the development
service, whose certificate comes from the development CA.

1. A build that uses the system's CA store refuses the service (the
   development CA is in no system store), and so does a build whose bundle
   is another CA.
2. In a mount namespace whose system store (/etc/ssl/certs, both the bundle
   file and the hashed directory) holds the development CA, the system-store
   build accepts the service, so the system store is what it trusts, while
   the other-CA build still refuses it: with a bundle, libcurl's compiled-in
   CA directory is not consulted.

The other CA has a subject name of its own: with the development CA's name
OpenSSL would stop at the bundle's certificate of that name and never look
into the directory, whatever libcurl was told.

Arguments: system-store probe, other-CA probe, directory for the other CA,
development CA file, service port. Part 2 skips (77) without root or mount
namespaces."""

import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
SYSTEM_STORE = "/etc/ssl/certs"
REFUSED = "failed 60"  # CURLE_PEER_FAILED_VERIFICATION


def probe(command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    return (result.stdout.strip() or result.stderr.strip()).splitlines()[-1:] or [""]


def main():
    system_probe, other_probe, other_ca_dir, dev_ca, port = sys.argv[1:6]
    url = "https://127.0.0.1:%s/health" % port
    os.makedirs(other_ca_dir, exist_ok=True)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/O=Elsewhere/CN=Another CA", "-keyout", os.path.join(other_ca_dir, "ca-key.pem"),
                    "-out", os.path.join(other_ca_dir, "ca.pem")], check=True, capture_output=True)

    failures = []

    def expect(what, got, wanted):
        print("%-60s %s" % (what, got))
        if got != wanted:
            failures.append("%s: got %r, wanted %r" % (what, got, wanted))

    expect("system store", probe([system_probe, url])[0], REFUSED)
    expect("bundle of another CA", probe([other_probe, url])[0], REFUSED)

    namespace_usable = (os.geteuid() == 0 and shutil.which("unshare") and os.path.isdir(SYSTEM_STORE)
                        and subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode == 0)
    if namespace_usable:
        store = tempfile.mkdtemp(prefix="talvora-trust-")
        try:
            shutil.copy(dev_ca, os.path.join(store, "ca-certificates.crt"))
            subject_hash = subprocess.run(["openssl", "x509", "-hash", "-noout", "-in", dev_ca],
                                          capture_output=True, text=True, check=True).stdout.strip()
            os.symlink("ca-certificates.crt", os.path.join(store, subject_hash + ".0"))

            def in_namespace(probe_path):
                return probe(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                              'mount --bind "$0" "$1" && exec "$2" "$3"', store, SYSTEM_STORE, probe_path,
                              url])[0]

            expect("system store holding the development CA", in_namespace(system_probe), "completed 200")
            expect("bundle of another CA, system store holding the development CA", in_namespace(other_probe),
                   REFUSED)
        finally:
            shutil.rmtree(store, ignore_errors=True)

    if failures:
        print("\n".join(failures))
        return 1
    if not namespace_usable:
        print("skipped the system-store part: needs root, unshare and %s" % SYSTEM_STORE)
        return SKIP
    return 0


if __name__ == "__main__":
    sys.exit(main())
