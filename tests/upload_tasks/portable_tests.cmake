# The upload tasks' test files that need no pseudo-terminal and no STB: the
# Linux trees build each into upload_tasks_<name>, the Windows tree all of
# them into upload_tasks_unit_tests (tests/windows). Each links zarn_tasks.
set(zarn_upload_tasks_portable_tests
  zarn_words_test main_thread_queue_test dsp_crc16_test dsp_ymodem_blocks_test)
