#include "sigdiff/signature_input.h"

unsigned char signature_read_buffer[kRecordsPerRead * SignatureRecord::kBytes];

bool rewind_input(FailureReport& report, SignatureInput& input) {
  if (input.file->rewind()) return true;
  report.file_failed(Operation::kRead, input.role, input.path, input.file->error());
  return false;
}
