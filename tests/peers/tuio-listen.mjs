// An independent TUIO 1.1 client for the tests: tuio-client's Tuio11Client listening on a loopback
// UDP port, one JSON line per add/update/remove it reports.
//
// tuio-client only ships an abstract receiver (its README's example is a WebSocket one), so a node
// dgram socket feeds it: the npm package `osc` decodes each datagram, bundles are walked in order
// and every message is handed to the receiver as it would be from the wire.
//
// Usage: node tuio-listen.mjs PORT [SECONDS]   (PORT 0: any free port)
// Prints {"ready":PORT} once bound; ends after SECONDS (default 30) or when stdin closes.
import dgram from 'node:dgram';
import { createRequire } from 'node:module';
import { Tuio11Client, TuioReceiver } from './node_modules/tuio-client/dist/tuio-client.es.js';

const require = createRequire(import.meta.url);
const osc = require('osc');

class DatagramReceiver extends TuioReceiver {
    connect() { this.isConnected = true; }
    disconnect() { this.isConnected = false; }
    feed(packet) {
        if (packet.packets)
            packet.packets.forEach((p) => this.feed(p));
        else
            this.onOscMessage({ address: packet.address, args: packet.args });
    }
}

const print = (line) => process.stdout.write(JSON.stringify(line) + '\n');
const cursor = (event) => (c) =>
    print({ event, profile: '2Dcur', sid: c.sessionId, x: c.position.x, y: c.position.y });
const object = (event) => (o) => print({ event, profile: '2Dobj', sid: o.sessionId,
    cid: o.symbolId, x: o.position.x, y: o.position.y, angle: o.angle });

const receiver = new DatagramReceiver();
const client = new Tuio11Client(receiver);
client.addTuioListener({
    addTuioCursor: cursor('add'), updateTuioCursor: cursor('update'),
    removeTuioCursor: cursor('remove'),
    addTuioObject: object('add'), updateTuioObject: object('update'),
    removeTuioObject: object('remove'),
    addTuioBlob() {}, updateTuioBlob() {}, removeTuioBlob() {}, refresh() {},
});
client.connect();

const socket = dgram.createSocket('udp4');
socket.on('message', (data) => {
    try {
        receiver.feed(osc.readPacket(new Uint8Array(data), { metadata: false }));
    } catch (error) {
        print({ event: 'error', message: String(error) });
    }
});
const finish = () => { socket.close(); process.exit(0); };
socket.bind(Number(process.argv[2] ?? 0), '127.0.0.1', () => print({ ready: socket.address().port }));
setTimeout(finish, 1000 * Number(process.argv[3] ?? 30));
process.stdin.on('end', finish);
process.stdin.resume();
