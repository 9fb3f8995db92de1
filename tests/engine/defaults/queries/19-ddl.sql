CREATE TABLE IF NOT EXISTS shop.order_lines (order_line_id bigserial PRIMARY KEY, order_id bigint NOT NULL REFERENCES shop.orders (order_id) ON DELETE CASCADE, sku text NOT NULL, qty integer NOT NULL CHECK (qty > 0 AND qty < 1000), unit_price numeric(12, 2) NOT NULL, created_at timestamp with time zone NOT NULL DEFAULT now(), UNIQUE (order_id, sku));
CREATE INDEX order_lines_sku ON shop.order_lines USING btree (sku) WHERE qty > 10;
ALTER TABLE shop.order_lines ADD COLUMN note text, ALTER COLUMN qty SET DEFAULT 1;
CREATE OR REPLACE VIEW shop.big_orders AS SELECT o.order_id, sum(ol.qty * ol.unit_price) AS total FROM shop.orders o JOIN shop.order_lines ol ON ol.order_id = o.order_id GROUP BY o.order_id HAVING sum(ol.qty * ol.unit_price) > 1000;
GRANT SELECT, INSERT, UPDATE ON shop.order_lines TO shop_writer;
COMMENT ON TABLE shop.order_lines IS 'one line per product, from the order form';
