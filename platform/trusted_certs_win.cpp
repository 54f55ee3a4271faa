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

bool readText(const std::string& path, std::string& text, std::string& why) {
    files::FileSystem& fs = files::realFileSystem();
    if (files::readWholeFile(fs, path, text) == files::ReadResult::ok) return true;
    const std::string reason = fs.lastFailure();
    why = path + ": cannot be read" + (reason.empty() ? "" : ": " + reason);
    return false;
}

}  // namespace

TrustedCertificates::~TrustedCertificates() {
    if (store_) closeStore_(store_, 0);
    if (module_) FreeLibrary(module_);
}

bool TrustedCertificates::load(const std::string& path, std::string& why) {
    path_ = path;
    if (!loadFunctions()) {
        why = "the certificate functions (crypt32.dll) cannot be loaded on this Windows";
        return false;
    }
    std::string text;
    if (!readText(path, text, why)) return false;
    store_ = openStore_(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store_) {
        why = "no certificate store could be made (error " + hex(GetLastError()) + ")";
        return false;
    }
    return addPemCertificates(text, why);
}

bool TrustedCertificates::loadFunctions() {
    module_ = LoadLibraryA("crypt32.dll");
    return module_ && find(fromText_, "CryptStringToBinaryA") &&
           find(openStore_, "CertOpenStore") &&
           find(addToStore_, "CertAddEncodedCertificateToStore") &&
           find(addToCollection_, "CertAddStoreToCollection") &&
           find(closeStore_, "CertCloseStore") && find(getChain_, "CertGetCertificateChain") &&
           find(freeChain_, "CertFreeCertificateChain") &&
           find(verifyPolicy_, "CertVerifyCertificateChainPolicy") &&
           find(freeCertificate_, "CertFreeCertificateContext");
}

// Adds each PEM block of `text` to the store; one that is not a certificate makes
// the whole file refused, rather than trusting less than the user named.
bool TrustedCertificates::addPemCertificates(const std::string& text, std::string& why) {
    for (size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at)) {
        const size_t end = text.find(kEnd, at);
        if (end == std::string::npos) break;
        const std::string der = derOf(text.substr(at, end + sizeof kEnd - 1 - at));
        at = end;
        if (der.empty() ||
            !addToStore_(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING, nullptr)) {
            why = path_ + ": certificate " + std::to_string(certificates_.size() + 1) +
                  " is not a valid certificate";
            return false;
        }
        certificates_.push_back(der);
    }
    if (certificates_.empty()) {
        why = path_ + ": holds no certificate (expected PEM, \"" + kBegin + "\")";
        return false;
    }
    return true;
}

// The DER bytes of one PEM block, or nothing when it does not decode.
std::string TrustedCertificates::derOf(const std::string& block) const {
    const DWORD length = static_cast<DWORD>(block.size());
    DWORD size = 0;
    if (!fromText_(block.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                   nullptr))
        return std::string();
    std::string der(size, '\0');
    if (!fromText_(block.data(), length, CRYPT_STRING_BASE64HEADER,
                   reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr))
        return std::string();
    der.resize(size);
    return der;
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
    const CERT_CHAIN_CONTEXT* chain = chainOf(server, why);
    if (!chain) return false;
    if (!anchored(chain))
        why = "is not signed by a certificate in " + path_;
    else
        why = policyFailure(chain, host);
    freeChain_(chain);
    return why.empty();
}

// The chain from `server` up, built from the file's certificates and those the server
// sent with its own (an intermediate CA's), which Wine's chain engine does not search
// unless told; the system's roots may complete the chain too.
const CERT_CHAIN_CONTEXT* TrustedCertificates::chainOf(const CERT_CONTEXT* server,
                                                       std::string& why) const {
    HCERTSTORE issuers = openStore_(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    if (!issuers) {
        why = "could not be checked (error " + hex(GetLastError()) + ")";
        return nullptr;
    }
    addToCollection_(issuers, store_, 0, 0);
    if (server->hCertStore) addToCollection_(issuers, server->hCertStore, 0, 0);
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuth};
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT* chain = nullptr;
    if (!getChain_(nullptr, server, nullptr, issuers, &chainPara, 0, nullptr, &chain)) {
        why = "could not be checked (error " + hex(GetLastError()) + ")";
        chain = nullptr;
    }
    closeStore_(issuers, 0);
    return chain;
}

// What else a TLS client checks of a chain that reaches the file: signatures, dates,
// the use for a server and the host name; empty when all hold. The root is the
// file's, not the system's, so an unknown root is allowed here.
std::string TrustedCertificates::policyFailure(const CERT_CHAIN_CONTEXT* chain,
                                               const std::wstring& host) const {
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
        return "could not be checked (error " + hex(GetLastError()) + ")";
    if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) return "names another host";
    if (status.dwError == static_cast<DWORD>(CERT_E_EXPIRED))
        return "has expired or is not valid yet";
    if (status.dwError != 0) return "was refused (error " + hex(status.dwError) + ")";
    return std::string();
}

void TrustedCertificates::release(const CERT_CONTEXT* certificate) const {
    freeCertificate_(certificate);
}
