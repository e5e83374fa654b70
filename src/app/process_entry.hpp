#pragma once

namespace zelt {

// The whole process: options, run, failure printing. Returns the exit status.
int process_entry(int argc, char** argv);

}  // namespace zelt
