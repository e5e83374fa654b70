// The single-process group, used when the program is built without MPI.
#ifndef ZELT_WITH_MPI
#include "parallel/process_group.hpp"

#include <cstdlib>

namespace zelt {

process_group_session::process_group_session(int&, char**&) {}
process_group_session::~process_group_session() = default;

int process_rank() { return 0; }
int process_count() { return 1; }
void broadcast_text(std::string&, int) {}
int lowest_failing_rank(bool failed) { return failed ? 0 : -1; }
void abort_processes(int status) { std::exit(status); }

}  // namespace zelt
#endif
