#pragma once
// The output of a pair named by -o when it is a stream rather than a file to create by
// name: standard output ("-"), or an existing FIFO or character device. Derived output
// names are never streams: they keep the refusal of every file that is not regular.

#include <optional>
#include <string>

class StreamOutput {
public:
    // standardOutput: the descriptor that carries a stream on standard output (-o-).
    // A FIFO is opened for writing once it has a reader; the wait ends early when the run
    // is asked to stop (stopped() is then true).
    StreamOutput(const std::string& name, int standardOutput);
    ~StreamOutput();
    StreamOutput(const StreamOutput&) = delete;
    StreamOutput& operator=(const StreamOutput&) = delete;

    // The descriptor to write the WAVE stream to; -1 when the output is a file to create
    // by name, or refused, or the run was stopped.
    int descriptor() const { return descriptor_; }
    // Why it may not be written, as the line to print (without its newline).
    const std::optional<std::string>& refusal() const { return refusal_; }
    bool stopped() const { return stopped_; }

private:
    int openFifo(const std::string& name);

    int descriptor_ = -1;
    bool owned_ = false;
    bool stopped_ = false;
    std::optional<std::string> refusal_;
};
