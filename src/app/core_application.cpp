#include "app/core_application.h"

namespace tavu {

std::unique_ptr<QCoreApplication> ensureCoreApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return nullptr;
    }
    static int argc = 1;
    static char name[] = "tavu";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace tavu
