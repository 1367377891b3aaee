#pragma once

#include <iosfwd>

namespace tavu {

// Replaces this process by the program `name` that lies in this program's folder, with the same
// arguments (argv[0] included) and the same environment. Returns only when that fails: the
// status to end with, after a message on err.
int execSibling(const char* name, char** argv, std::ostream& err);

}  // namespace tavu
