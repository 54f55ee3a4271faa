#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

// The certificates of a --cacert file, and the check of a server's certificate
// against them: it must chain to one of them (or be one), and name the host.
// crypt32.dll is loaded only here, when a sync is given such a file, so that
// qbcard.exe's imports stay those checked against the oldest Windows we promise.
class TrustedCertificates {
  public:
    TrustedCertificates() = default;
    TrustedCertificates(const TrustedCertificates&) = delete;
    TrustedCertificates& operator=(const TrustedCertificates&) = delete;
    ~TrustedCertificates();

    // Reads the PEM certificates in `path`; false, with `why` set, when there is
    // none or the file cannot be read.
    bool load(const std::string& path, std::string& why);

    // True when `server`, the certificate a server showed for `host`, is trusted;
    // otherwise `why` says what is wrong with it ("is not signed by ...").
    bool verify(const CERT_CONTEXT* server, const std::wstring& host, std::string& why) const;

    void release(const CERT_CONTEXT* certificate) const;

  private:
    template <typename Function>
    bool find(Function& function, const char* name) {
        function =
            reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        return function != nullptr;
    }
    bool loadFunctions();
    bool addPemCertificates(const std::string& text, std::string& why);
    std::string derOf(const std::string& block) const;
    const CERT_CHAIN_CONTEXT* chainOf(const CERT_CONTEXT* server, std::string& why) const;
    bool anchored(const CERT_CHAIN_CONTEXT* chain) const;
    std::string policyFailure(const CERT_CHAIN_CONTEXT* chain, const std::wstring& host) const;

    std::string path_;
    HMODULE module_ = nullptr;
    HCERTSTORE store_ = nullptr;             // the file's certificates, for building chains
    std::vector<std::string> certificates_;  // and their bytes, to recognise them in a chain
    decltype(&CryptStringToBinaryA) fromText_ = nullptr;
    decltype(&CertOpenStore) openStore_ = nullptr;
    decltype(&CertAddEncodedCertificateToStore) addToStore_ = nullptr;
    decltype(&CertAddStoreToCollection) addToCollection_ = nullptr;
    decltype(&CertCloseStore) closeStore_ = nullptr;
    decltype(&CertGetCertificateChain) getChain_ = nullptr;
    decltype(&CertFreeCertificateChain) freeChain_ = nullptr;
    decltype(&CertVerifyCertificateChainPolicy) verifyPolicy_ = nullptr;
    decltype(&CertFreeCertificateContext) freeCertificate_ = nullptr;
};
