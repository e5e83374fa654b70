#include "app/process_entry.hpp"

namespace zelt {

int process_entry(int, char**) { return 0; }

}  // namespace zelt
