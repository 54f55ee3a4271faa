#include "platform/http.h"

namespace http {

std::unique_ptr<Client> openClient(const Settings&, std::string& why) {
    why = "sync is not yet available in the Windows build";
    return nullptr;
}

}  // namespace http
