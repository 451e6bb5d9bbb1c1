#pragma once

#include <string>

namespace vl::test {

// Writes a fresh self-signed certificate for 127.0.0.1 and its private key as PEM files.
bool WriteSelfSignedCertificate(const std::string& certFile, const std::string& keyFile);

}  // namespace vl::test
