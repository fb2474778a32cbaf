#!/usr/bin/env python3
"""A hostile SSH server for skiv's tests: one connection, one scripted attack.

Prints the port it listens on (127.0.0.1), serves one client and exits. Every
finding is written into the shell channel, so the test reads it on skiv's
terminal. The shell echoes what it receives; Ctrl-D ends it with status 0.

Attacks:
  agent-unasked      open an agent channel at once, whether asked or not
  agent-forwarded    list the agent's keys, then open many agent channels at once
  flood SECONDS      flood shell output while agent channels open and close
  slow-forward SECS  answer forwarded channel opens (-L/-D) only after SECS
"""
import socket
import struct
import sys
import threading
import time

import paramiko

AGENT = "auth-agent@openssh.com"
AGENT_REQUEST_IDENTITIES = 11
AGENT_IDENTITIES_ANSWER = 12


class Handler(paramiko.ServerInterface):
    def __init__(self):
        self.shell = threading.Event()
        self.agent_requested = False

    def get_allowed_auths(self, username):
        return "none"

    def check_auth_none(self, username):
        return paramiko.AUTH_SUCCESSFUL

    def check_channel_request(self, kind, chanid):
        return paramiko.OPEN_SUCCEEDED if kind == "session" else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED

    def check_channel_pty_request(self, *args):
        return True

    def check_channel_shell_request(self, channel):
        self.shell.set()
        return True

    def check_channel_forward_agent_request(self, channel):
        self.agent_requested = True
        return True

    def check_channel_direct_tcpip_request(self, chanid, origin, destination):
        return paramiko.OPEN_SUCCEEDED


class SlowOpenTransport(paramiko.Transport):
    """Answers forwarded-connection opens late without holding up the rest of the session."""

    delay = 0.0
    shell = None
    _handler_table = dict(paramiko.Transport._handler_table)

    def _late_open(self, m):
        copy = paramiko.Message(m.asbytes())
        if paramiko.Message(m.asbytes()).get_text() != "direct-tcpip":
            return paramiko.Transport._parse_channel_open(self, copy)

        def answer():
            say(self.shell, "forward answered")
            paramiko.Transport._parse_channel_open(self, copy)

        threading.Timer(self.delay, answer).start()

    _handler_table[paramiko.common.MSG_CHANNEL_OPEN] = _late_open


def open_agent(transport):
    try:
        return transport.open_channel(AGENT, timeout=10)
    except (paramiko.ChannelException, paramiko.SSHException, EOFError):
        return None


def read_exact(channel, count):
    data = b""
    while len(data) < count:
        chunk = channel.recv(count - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def list_keys(channel):
    channel.sendall(struct.pack(">IB", 1, AGENT_REQUEST_IDENTITIES))
    length = struct.unpack(">I", read_exact(channel, 4))[0]
    reply = read_exact(channel, length)
    if reply[0] != AGENT_IDENTITIES_ANSWER:
        return -1
    return struct.unpack(">I", reply[1:5])[0]


def say(shell, text):
    shell.sendall((text + "\r\n").encode())


def agent_unasked(transport, shell, handler):
    agent = open_agent(transport)
    if agent is None:
        say(shell, "agent channel refused")
    else:
        say(shell, "agent keys: %d" % list_keys(agent))
        agent.close()


def agent_forwarded(transport, shell, handler):
    agent = open_agent(transport)
    if agent is None:
        say(shell, "agent channel refused")
        return
    say(shell, "agent keys: %d" % list_keys(agent))
    held = [agent]
    for _ in range(40):
        channel = open_agent(transport)
        if channel is not None:
            held.append(channel)
    say(shell, "agent channels accepted: %d" % len(held))
    for channel in held:
        channel.close()


def flood(transport, shell, handler, seconds):
    end = time.monotonic() + seconds
    stop = threading.Event()
    opened = [0]

    def churn():
        # Bursts of opens that arrive together, so they land while skiv is busy with other channels.
        while not stop.is_set():
            held = []
            openers = [threading.Thread(target=lambda: held.append(open_agent(transport))) for _ in range(12)]
            for opener in openers:
                opener.start()
            for opener in openers:
                opener.join()
            for channel in held:
                if channel is not None:
                    opened[0] += 1
                    channel.close()

    thread = threading.Thread(target=churn, daemon=True)
    thread.start()
    line = b"flood " * 13 + b"\r\n"
    while time.monotonic() < end and transport.is_active():
        shell.sendall(line * 200)
    stop.set()
    thread.join(15)
    say(shell, "flood done, agent channels opened: %d" % opened[0])


def echo_forwarded(transport):
    while transport.is_active():
        channel = transport.accept(0.5)
        if channel is None:
            continue

        def echo(c=channel):
            while True:
                data = c.recv(65536)
                if not data:
                    break
                c.sendall(b"forwarded:" + data)
            c.close()

        threading.Thread(target=echo, daemon=True).start()


def echo_shell(shell):
    while True:
        data = shell.recv(4096)
        if not data or b"\x04" in data:
            break
        shell.sendall(data.replace(b"\r", b"\r\n"))
    shell.send_exit_status(0)
    shell.close()


def main():
    host_key = paramiko.Ed25519Key(filename=sys.argv[1])
    attack = sys.argv[2]
    argument = float(sys.argv[3]) if len(sys.argv) > 3 else 0.0
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print(listener.getsockname()[1], flush=True)
    connection, _ = listener.accept()
    if attack == "slow-forward":
        SlowOpenTransport.delay = argument
        transport = SlowOpenTransport(connection)
    else:
        transport = paramiko.Transport(connection)
    transport.add_server_key(host_key)
    handler = Handler()
    transport.start_server(server=handler)
    shell = transport.accept(20)
    if shell is None or not handler.shell.wait(20):
        return
    if attack == "agent-unasked":
        agent_unasked(transport, shell, handler)
    elif attack == "agent-forwarded":
        agent_forwarded(transport, shell, handler)
    elif attack == "flood":
        flood(transport, shell, handler, argument)
    elif attack == "slow-forward":
        transport.shell = shell
        threading.Thread(target=echo_forwarded, args=(transport,), daemon=True).start()
    say(shell, "attack over")
    echo_shell(shell)
    deadline = time.monotonic() + 5
    while transport.is_active() and time.monotonic() < deadline:
        time.sleep(0.05)
    transport.close()


if __name__ == "__main__":
    main()
