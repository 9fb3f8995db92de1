CREATE OR REPLACE FUNCTION shop.touch() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
	NEW.updated_at := now();  -- from the trigger, not the client
	RETURN NEW;
END;
$body$;
CREATE TRIGGER order_lines_touch BEFORE UPDATE ON shop.order_lines FOR EACH ROW EXECUTE FUNCTION shop.touch();
SELECT E'it\'s done, from here', $$select 1 from t where a, b$$ AS body
