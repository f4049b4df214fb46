#include "verify/opens_vocabulary.h"

const char* openAnswerName(EndpointAnswer answer) {
    switch (answer) {
    case EndpointAnswer::Refused:
        return "unsupported format";
    case EndpointAnswer::BufferRefused:
        return "buffer size refused";
    case EndpointAnswer::StreamFailed:
        return "stream not created";
    case EndpointAnswer::NoMemory:
        return "out of memory";
    default:
        return "failed";
    }
}

const char* opensStatusName(OpensStatus status) {
    switch (status) {
    case OpensStatus::Done:
        return "done";
    case OpensStatus::NothingListed:
        return "nothing listed";
    case OpensStatus::InUse:
        return "in use";
    case OpensStatus::Busy:
        return "busy";
    case OpensStatus::NotAllowed:
        return "not allowed";
    case OpensStatus::Gone:
        return "gone";
    case OpensStatus::AccessDenied:
        return "access denied";
    case OpensStatus::NotAnswering:
        return "not answering";
    case OpensStatus::TooSlow:
        return "too slow";
    case OpensStatus::Unavailable:
        return "unavailable";
    }
    return "unavailable";
}
