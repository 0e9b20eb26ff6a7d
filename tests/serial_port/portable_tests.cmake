# The serial port's cases that need no pseudo-terminal, with their helpers.
# Every tree builds them: the Linux trees into serial_port_tests, the Windows
# tree into serial_port_unit_tests (tests/windows). Link zarn_serial and
# zarn_test_support_portable.
set(zarn_serial_port_portable_tests ErrorMessagesTest.cpp RingEngineTest.cpp ByteRingTest.cpp
  DeviceFailureTest.cpp DriverRulesTest.cpp ComNameTest.cpp LinePattern.cpp)
list(TRANSFORM zarn_serial_port_portable_tests PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
