#include "platform/trusted_certs_win.h"

#include <winhttp.h>

#include <cstdio>

#include "platform/files.h"

namespace {

const char kBegin[] = "-----BEGIN CERTIFICATE-----";
const char kEnd[] = "-----END CERTIFICATE-----";

std::string hex(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(code));
    return text;
}

}  // namespace

TrustedCertificates::~TrustedCertificates() {
    if (store_) closeStore_(store_, 0);
    if (module_) FreeLibrary(module_);
}

bool TrustedCertificates::load(const std::string& path, std::string& why) {
    path_ = path;
    module_ = LoadLibraryA("crypt32.dll");
    if (!module_ || !find(fromText_, "CryptStringToBinaryA") ||
        !find(openStore_, "CertOpenStore") ||
        !find(addToStore_, "CertAddEncodedCertificateToStore") ||
        !find(closeStore_, "CertCloseStore") || !find(getChain_, "CertGetCertificateChain") ||
        !find(freeChain_, "CertFreeCertificateChain") ||
        !find(verifyPolicy_, "CertVerifyCertificateChainPolicy") ||
        !find(freeCertificate_, "CertFreeCertificateContext")) {
        why = "the certificate functions (crypt32.dll) cannot be loaded on this Windows";
        return false;
    }
    files::FileSystem& fs = files::realFileSystem();
    std::string text;
    if (files::readWholeFile(fs, path, text) != files::ReadResult::ok) {
        const std::string reason = fs.lastFailure();
        why = path + ": cannot be read" + (reason.empty() ? "" : ": " + reason);
        return false;
    }
    store_ = openStore_(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store_) {
        why = "no certificate store could be made (error " + hex(GetLastError()) + ")";
        return false;
    }
    for (size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at)) {
        const size_t end = text.find(kEnd, at);
        if (end == std::string::npos) break;
        const std::string block = text.substr(at, end + sizeof kEnd - 1 - at);
        at = end;
        DWORD size = 0;
        std::string der;
        if (fromText_(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                      nullptr, &size, nullptr, nullptr)) {
            der.resize(size);
            if (!fromText_(block.data(), static_cast<DWORD>(block.size()),
                           CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(&der[0]), &size,
                           nullptr, nullptr))
                der.clear();
        }
        if (der.empty() ||
            !addToStore_(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING, nullptr)) {
            why = path + ": certificate " + std::to_string(certificates_.size() + 1) +
                  " is not a valid certificate";
            return false;
        }
        certificates_.push_back(der);
    }
    if (certificates_.empty()) {
        why = path + ": holds no certificate (expected PEM, \"" + kBegin + "\")";
        return false;
    }
    return true;
}

// Whether some certificate of the chain, from the server's own up, is one of the file's.
bool TrustedCertificates::anchored(const CERT_CHAIN_CONTEXT* chain) const {
    if (chain->cChain == 0) return false;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
        const CERT_CONTEXT* element = simple->rgpElement[i]->pCertContext;
        const std::string bytes(reinterpret_cast<const char*>(element->pbCertEncoded),
                                element->cbCertEncoded);
        for (const std::string& trusted : certificates_)
            if (trusted == bytes) return true;
    }
    return false;
}

bool TrustedCertificates::verify(const CERT_CONTEXT* server, const std::wstring& host,
                                 std::string& why) const {
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuth};
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT* chain = nullptr;
    // The file's certificates join the search for issuers; the system's roots may
    // complete a chain, but only one through a certificate of the file counts.
    if (!getChain_(nullptr, server, nullptr, store_, &chainPara, 0, nullptr, &chain)) {
        why = "could not be checked (error " + hex(GetLastError()) + ")";
        return false;
    }
    bool trusted = false;
    if (!anchored(chain)) {
        why = "is not signed by a certificate in " + path_;
    } else {
        // The rest of what a TLS client checks: signatures, dates, the use for a
        // server and the host name. The root is the file's, not the system's.
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
        CERT_CHAIN_POLICY_PARA policy = {};
        policy.cbSize = sizeof policy;
        policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status = {};
        status.cbSize = sizeof status;
        if (!verifyPolicy_(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
            why = "could not be checked (error " + hex(GetLastError()) + ")";
        else if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH))
            why = "names another host";
        else if (status.dwError == static_cast<DWORD>(CERT_E_EXPIRED))
            why = "has expired or is not valid yet";
        else if (status.dwError != 0)
            why = "was refused (error " + hex(status.dwError) + ")";
        else
            trusted = true;
    }
    freeChain_(chain);
    return trusted;
}

void TrustedCertificates::release(const CERT_CONTEXT* certificate) const {
    freeCertificate_(certificate);
}
