#include "app/frame/flockchase.hpp"

int main(int argc, char** argv) { program_entry(argc, argv, &FlockchaseMain); }
