"""Parses a received message with Python's email package and prints what a mail reader sees.

usage: mail_parse.py MESSAGE_FILE

Prints JSON: {"multipart": bool, "headers": [[name, value], ...], "date": ISO,
              "parts": [{"type": ..., "charset": ..., "filename": ..., "payload": BASE64}]}
where payload is the part's body after its transfer encoding is undone, in base64, and date is
the Date header as email.utils.parsedate_to_datetime reads it (null without one; the reason when
it cannot be read).
"""
import base64
import email
import email.policy
import email.utils
import json
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.compat32)
    parts = []
    for part in message.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        parts.append({
            "type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "filename": part.get_param("name"),
            "payload": base64.b64encode(payload).decode("ascii"),
        })
    date = None
    if message["Date"] is not None:
        try:
            date = email.utils.parsedate_to_datetime(message["Date"]).isoformat()
        except (TypeError, ValueError) as e:
            date = "unreadable: %s" % e
    print(json.dumps({
        "date": date,
        "multipart": message.is_multipart(),
        "headers": [[k, str(v)] for k, v in message.items()],
        "defects": [str(d) for d in message.defects],
        "parts": parts,
    }))


if __name__ == "__main__":
    main()
