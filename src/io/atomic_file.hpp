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
// Creates an empty file with an unpredictable name beside `file_name`
// ("NAME.tmp." and six random characters) that did not exist before, with
// the permissions of an ordinary new file, and returns its name. Fails with
// io_error "unable to write the file NAME".
std::string create_temporary_beside(const std::string& file_name);

void write_file_atomically(const std::string& file_name,
                           const std::function<void(const std::string& temporary)>& write);

}  // namespace zelt
