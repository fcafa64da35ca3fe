# Integration tests: the real executable, or a module, against real servers started by the test.
# The installer's single-instance lock is machine-wide: tests that run it share the lock
# "qsw_instance" so that parallel runs never refuse each other.
# Full runs try peer and relay discovery: they happen in a network namespace of their own.
qsw_add_script_test(integration_entry test_entry.py LABELS integration netns LOCKS qsw_instance TIMEOUT 300
                    OWN_NETWORK)
# Peer network: namespaces made by tests/fixtures/netns.py; discovery never leaves them.
qsw_add_script_test(integration_netns_harness test_netns_harness.py LABELS integration netns TIMEOUT 120)
qsw_add_test(integration_network_interfaces SOURCES integration/network_interfaces_test.cpp
             LABELS integration netns LIBRARIES qsw_udp)
qsw_add_script_test(integration_install_direct test_install_direct.py LABELS integration netns
                    LOCKS qsw_instance TIMEOUT 600 OWN_NETWORK)
qsw_add_test(integration_udp_request SOURCES integration/udp_request_test.cpp
             LABELS integration netns LIBRARIES qsw_udp)
# The installer in a terminal driven through tmux, as a person would use it.
qsw_add_script_test(integration_terminal test_terminal.py LABELS integration netns LOCKS qsw_instance
                    TIMEOUT 600 OWN_NETWORK)
# Package retrieval modules against the agent-handler stand-in and nginx; in a network namespace
# of its own where one can be made (route kind 0 runs the peer road).
qsw_add_test(integration_retrieval SOURCES integration/retrieval_test.cpp
             LABELS integration LIBRARIES qsw_download)
# P2P content discovery between namespaces, against test peers written with python3-msgpack.
qsw_add_test(integration_p2p_discovery SOURCES integration/p2p_discovery_test.cpp
             LABELS integration netns LIBRARIES qsw_p2p)
# The progress dialog with a worker that asks for proxy credentials (driven by test_terminal.py).
add_executable(qsw-credentials-probe integration/credentials_probe.cpp)
target_link_libraries(qsw-credentials-probe PRIVATE qsw_bootstrap)
set_target_properties(qsw-credentials-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
# The peer road of the install-package retrieval between namespaces (test peers, and nginx with
# a recording proxy for route kind 3).
qsw_add_test(integration_peer_road SOURCES integration/peer_road_test.cpp
             LABELS integration netns LIBRARIES qsw_download)
# Mechanism [0] end to end: the installer, agent handler and nginx in one namespace of a test
# network, a peer agent in another.
qsw_add_script_test(integration_install_peers test_install_peers.py LABELS integration netns
                    LOCKS qsw_instance TIMEOUT 600 OWN_NETWORK)
# A hostile local user and a hostile environment: unreadable arguments, a redirectable or
# planted temporary folder, a killed run, stop requests. Full runs: a namespace of their own.
qsw_add_script_test(integration_local_user test_local_user.py LABELS integration netns
                    LOCKS qsw_instance TIMEOUT 600 OWN_NETWORK)
# The release executable on a bare Debian 12 chroot (scripts/test-release.sh gives it the
# executable and the tree; it skips without them).
qsw_add_script_test(integration_release_endpoint test_release_endpoint.py LABELS integration netns release
                    TIMEOUT 900)
# Hostile install packages and a full disk (a tmpfs mounted by the test in a mount namespace of
# the run's own), full runs in a network namespace of their own.
qsw_add_script_test(integration_install_hostile test_install_hostile.py LABELS integration netns
                    LOCKS qsw_instance TIMEOUT 900 OWN_NETWORK)
# The hand-over of the install files onto another file system (a tmpfs mounted in the test's own
# mount namespace) and the service account's ACL entry (an account the test creates and removes).
qsw_add_test(integration_installer_files SOURCES integration/installer_files_test.cpp
             LABELS integration LIBRARIES qsw_install LOCKS qzcmnsvc_account OWN_MOUNTS)
# Relay discovery between namespaces, against test relays written with python3-msgpack.
qsw_add_test(integration_relay_discovery SOURCES integration/relay_discovery_test.cpp
             LABELS integration netns LIBRARIES qsw_relay_discovery)
# Mechanism [3] end to end: the servers on the loopback of a relay's namespace, reachable from the
# installer's namespace only through test relays.
qsw_add_script_test(integration_install_relay test_install_relay.py LABELS integration netns
                    LOCKS qsw_instance TIMEOUT 600 OWN_NETWORK)
# Mechanism [2] end to end: the installer in a namespace that reaches the agent handler and the
# repository only through tinyproxy; proxies from the command line, a fake desktop user's
# settings (environment, GNOME, PAC, WPAD) and the machine default.
qsw_add_script_test(integration_install_proxy test_install_proxy.py LABELS integration netns
                    LOCKS qsw_instance TIMEOUT 900 OWN_NETWORK OWN_PROCESSES)
# Its fake desktop shells would be taken for the logged-on user by any installer run meanwhile
# outside a process namespace.
set_tests_properties(unit_user_proxy_test PROPERTIES RESOURCE_LOCK qsw_instance)
