// Linked the way a careless release is, against the shared C++, GCC and thread
// runtime DLLs, so that the import check meets a real program it must reject.
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>

int main(int argc, char**) {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    try {
        if (argc > 1)
            throw std::runtime_error("argument");
    } catch (const std::exception& error) {
        std::puts(error.what());
    }
    std::string text(static_cast<std::size_t>(argc), 'x');
    std::puts(text.c_str());
    return 0;
}
