// The parts of relay-peer that do not talk to the agent, compiled into the
// test program so that their logic is tested without a session.
#include "../../examples/relay-peer/relay_rows.cpp"
#include "../../examples/relay-peer/self_rows.cpp"
#include "../../examples/relay-peer/tcp_table.cpp"
