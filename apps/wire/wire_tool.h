#pragma once
// tolba-wire: turns a JSON document into a request body of the wire format and a
// captured body back into JSON, for looking at the traffic between the SDK and
// the publisher's servers.
//
//   tolba-wire encode [--key KEY] [FILE]
//   tolba-wire decode [--key KEY] [--lenient] [FILE]
//
// Without FILE the input is read from standard input. Exit status: 0 on success,
// 1 when the input does not encode or decode (with a message on stderr), 2 for a
// wrong command line.

#include <iosfwd>
#include <string>
#include <vector>

namespace tolba::wire {

// Runs the tool with `args` (the arguments after the program name).
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace tolba::wire
