// Sends OSC packets to 127.0.0.1 encoded by the npm `osc` package, an encoder independent of
// Tactora's. Usage: node send-osc.js PORT < packets.json, where the JSON is a list of
// {"from": 0 or 1, "packet": an osc.js packet with typed arguments}. Float values may be strings
// ("NaN"). Prints "ports P0 P1", the local ports of its two sockets, then sends in order and exits.
const dgram = require('dgram');
const osc = require('osc');

const port = Number(process.argv[2]);
const numbers = (packet) => {
    if (packet.packets)
        packet.packets.forEach(numbers);
    else
        packet.args.forEach((a) => { if (a.type === 'f') a.value = Number(a.value); });
    return packet;
};

const input = JSON.parse(require('fs').readFileSync(0, 'utf8'));
const sockets = [dgram.createSocket('udp4'), dgram.createSocket('udp4')];
const bound = sockets.map((s) => new Promise((ok) => s.bind(0, '127.0.0.1', ok)));
Promise.all(bound).then(async () => {
    console.log('ports ' + sockets.map((s) => s.address().port).join(' '));
    for (const item of input) {
        const bytes = Buffer.from(osc.writePacket(numbers(item.packet), { metadata: true }));
        await new Promise((ok, fail) =>
            sockets[item.from].send(bytes, port, '127.0.0.1', (e) => (e ? fail(e) : ok())));
    }
    sockets.forEach((s) => s.close());
}).catch((e) => { console.error(e); process.exit(1); });
