#include "xmp/XMP_Const.h"

XMP_Error::XMP_Error(XMP_ErrorID id, std::string message) : mID(id), mMessage(std::move(message)) {}

XMP_Error::~XMP_Error() = default;

const char* XMP_Error::what() const noexcept {
  return mMessage.c_str();
}
