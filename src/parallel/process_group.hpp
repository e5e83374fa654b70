#pragma once
// The processes that share one run. Built without MPI (or run without
// mpirun) there is one process, rank 0; under mpirun every rank runs the
// same preparation and search loops and the ranks share the attempts of each
// copy step. Rank 0 alone prints and writes files.
#include <string>

namespace zelt {

// Joins the group (MPI_Init under MPI) for the lifetime of the object.
class process_group_session {
public:
    process_group_session(int& argc, char**& argv);
    ~process_group_session();
    process_group_session(const process_group_session&) = delete;
    process_group_session& operator=(const process_group_session&) = delete;
};

int process_rank();
int process_count();

// Collective: every rank receives `text` as rank `root` holds it.
void broadcast_text(std::string& text, int root);

// Collective: the lowest rank that reports a failure, or -1 when none does.
int lowest_failing_rank(bool failed);

// Ends every process of the run with `status` (MPI_Abort under MPI).
[[noreturn]] void abort_processes(int status);

}  // namespace zelt
