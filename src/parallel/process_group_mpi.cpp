// The process group over MPI_COMM_WORLD, compiled when the program is built
// with MPI. Without mpirun MPI starts a singleton: one process, rank 0.
#ifdef ZELT_WITH_MPI
#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <stdexcept>
#include <string>
#include <thread>

#include "parallel/process_group.hpp"

namespace zelt {

namespace {

void check(int code, const char* what) {
    if (code != MPI_SUCCESS) throw std::runtime_error(std::string("MPI failure in ") + what);
}

// Waits for a non-blocking collective without spinning: a rank that waits for
// the others' attempts leaves the processors to them (ranks may share a node).
void wait_idle(MPI_Request& request, const char* what) {
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        int done = 0;
        check(MPI_Test(&request, &done, MPI_STATUS_IGNORE), what);
        if (done) return;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

}  // namespace

process_group_session::process_group_session(int& argc, char**& argv) {
    int started = 0;
    MPI_Initialized(&started);
    if (!started) check(MPI_Init(&argc, &argv), "MPI_Init");
}

process_group_session::~process_group_session() {
    int finished = 0;
    MPI_Finalized(&finished);
    if (!finished) MPI_Finalize();
}

int process_rank() {
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank;
}

int process_count() {
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    return size;
}

void broadcast_text(std::string& text, int root) {
    if (process_count() == 1) return;
    unsigned long long length = text.size();
    MPI_Request request;
    check(MPI_Ibcast(&length, 1, MPI_UNSIGNED_LONG_LONG, root, MPI_COMM_WORLD, &request), "MPI_Ibcast");
    wait_idle(request, "MPI_Ibcast");
    text.resize(length);
    // Long texts go in pieces that an int count can describe.
    for (unsigned long long done = 0; done < length;) {
        const int piece = static_cast<int>(std::min<unsigned long long>(length - done, INT_MAX));
        check(MPI_Bcast(text.data() + done, piece, MPI_CHAR, root, MPI_COMM_WORLD), "MPI_Bcast");
        done += piece;
    }
}

int lowest_failing_rank(bool failed) {
    const int mine = failed ? process_rank() : INT_MAX;
    int lowest = INT_MAX;
    MPI_Request request;
    check(MPI_Iallreduce(&mine, &lowest, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD, &request), "MPI_Iallreduce");
    wait_idle(request, "MPI_Iallreduce");
    return lowest == INT_MAX ? -1 : lowest;
}

void abort_processes(int status) {
    MPI_Abort(MPI_COMM_WORLD, status);
    std::exit(status);
}

}  // namespace zelt
#endif
