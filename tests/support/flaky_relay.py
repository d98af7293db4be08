#!/usr/bin/env python3
"""Usage: flaky_relay.py DROPPED TARGET_PORT - a port on 127.0.0.1 in front of a real server.

Prints the port it listens on, then "accepted N" as each connection comes. The first DROPPED
connections are closed as soon as they are accepted; every later one is passed through to
127.0.0.1:TARGET_PORT, or, with TARGET_PORT 0, held open and never answered. Runs until killed.
"""
import socket
import sys
import threading


def pump(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    for end in (source, sink):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def main():
    dropped, target = int(sys.argv[1]), int(sys.argv[2])
    listener = socket.create_server(("127.0.0.1", 0))
    print(listener.getsockname()[1], flush=True)
    held = []
    for count in range(1, sys.maxsize):
        client, _ = listener.accept()
        print("accepted", count, flush=True)
        if count <= dropped:
            client.close()
        elif target == 0:
            held.append(client)
        else:
            server = socket.create_connection(("127.0.0.1", target))
            for ends in ((client, server), (server, client)):
                threading.Thread(target=pump, args=ends, daemon=True).start()


main()
