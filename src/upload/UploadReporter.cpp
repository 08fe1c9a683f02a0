#include "upload/UploadReporter.h"

namespace vantor::upload {

std::string UploadReporter::remedy(Remedy which, int value) const
{
    switch (which) {
    case Remedy::Scan:
        return "a scan of the line";
    case Remedy::Attempts:
        return std::to_string(value) + " link test attempts";
    case Remedy::Timeout:
        return "a timeout of " + std::to_string(value) + " ms";
    }
    return {};
}

} // namespace vantor::upload
