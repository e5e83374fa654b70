#include "app/process_entry.hpp"

int main(int argc, char** argv) { return zelt::process_entry(argc, argv); }
