# Integration tests: the real executable, or a module, against real servers started by the test.
# The installer's single-instance lock is machine-wide: tests that run it share the lock
# "qsw_instance" so that parallel runs never refuse each other.
qsw_add_script_test(integration_entry test_entry.py LABELS integration LOCKS qsw_instance TIMEOUT 300)
