#include "tests/support/tls_cert.h"

#include "tests/support/process.h"

namespace vl::test {

bool WriteSelfSignedCertificate(const std::string& certFile, const std::string& keyFile) {
    return RunProcess({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                       "-keyout", keyFile, "-out", certFile, "-days", "1", "-subj", "/CN=127.0.0.1",
                       "-addext", "subjectAltName=IP:127.0.0.1"})
               .exitCode == 0;
}

}  // namespace vl::test
