#include "app/program_exec.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>

#include "core/paths.h"

namespace tavu {

int execSibling(const char* name, char** argv, std::ostream& err) {
    // The folder of /proc/self/exe: a link to the program or a copy of it on the PATH does not
    // lead elsewhere.
    const std::string path = joinPath(executableDir(), name);
    ::execv(path.c_str(), argv);
    const int error = errno;
    err << "tavu: cannot start " << path << ": " << std::strerror(error) << '\n';
    return error == ENOENT ? 127 : 126;
}

}  // namespace tavu
