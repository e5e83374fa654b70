#pragma once
// Writing a file so that it appears complete or not at all.
#include <functional>
#include <string>

namespace zelt {

// Calls `write` with a temporary name in the same folder as `file_name`, then
// renames the temporary file to `file_name`. When `write` fails (throws) or
// the rename fails, the temporary file is removed and io_error "unable to
// write the file NAME" is thrown; an existing file of that name is then left
// as it was.
void write_file_atomically(const std::string& file_name,
                           const std::function<void(const std::string& temporary)>& write);

}  // namespace zelt
